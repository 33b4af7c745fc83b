// Where the parser and the unpackers read file data from: the host's file
// services in the plugin (io/host_source.h), a stdio file in the tool, or
// bytes in memory in tests and fuzzers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace yafa {

class ByteSource {
public:
    // Copies up to `length` bytes to `to` and returns how many it copied:
    // fewer only where the data ends (or the host reports an error).
    virtual size_t Read(uint8_t* to, size_t length) noexcept = 0;
    // The next byte, 0..255. At the end of the data, whatever the source
    // answers there: the host's readByte gives -1 on the stand-in host.
    virtual int32_t ReadByte() noexcept = 0;
    // Moves forward by `distance` bytes, also past the end of the data.
    // False when the source cannot move that far.
    virtual bool Skip(uint64_t distance) noexcept = 0;
    // The position counted from the start of the data; -1 when unknown.
    virtual int64_t Position() noexcept = 0;

    // Big-endian numbers from ReadByte. Nothing detects the end of the
    // data: whatever ReadByte answers there goes into the number, unmasked.
    uint16_t ReadU16BE() noexcept {
        const auto b0 = static_cast<uint32_t>(ReadByte());
        const auto b1 = static_cast<uint32_t>(ReadByte());
        return static_cast<uint16_t>((b0 << 8) | b1);
    }
    uint32_t ReadU32BE() noexcept {
        const auto b0 = static_cast<uint32_t>(ReadByte());
        const auto b1 = static_cast<uint32_t>(ReadByte());
        const auto b2 = static_cast<uint32_t>(ReadByte());
        const auto b3 = static_cast<uint32_t>(ReadByte());
        return (b0 << 24) | (b1 << 16) | (b2 << 8) | b3;
    }

protected:
    ~ByteSource() = default;
};

// Bytes in memory. ReadByte answers -1 past the end, as the stand-in host does.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> bytes) noexcept : bytes_(bytes) {}

    size_t Read(uint8_t* to, size_t length) noexcept override {
        const size_t n = position_ < bytes_.size() ? std::min(length, bytes_.size() - position_) : 0;
        if (n) std::memcpy(to, bytes_.data() + position_, n);
        position_ += n;
        return n;
    }
    int32_t ReadByte() noexcept override { return position_ < bytes_.size() ? bytes_[position_++] : -1; }
    bool Skip(uint64_t distance) noexcept override {
        if (distance > SIZE_MAX - position_) return false;
        position_ += static_cast<size_t>(distance);
        return true;
    }
    int64_t Position() noexcept override { return static_cast<int64_t>(position_); }

private:
    std::span<const uint8_t> bytes_;
    size_t position_ = 0;
};

}  // namespace yafa
