// Buffers for the method fuzzers that end exactly at an unmapped page, so
// that an access even one byte past the end faults at once. A second unmapped
// page lies before the buffer's pages, and the bytes between it and the
// buffer are poisoned for AddressSanitizer, so a step before the start is
// caught as well, though only to within 8 bytes (AddressSanitizer cannot
// poison the tail of an 8-byte granule whose head is in use). Buffers that
// are written downwards may instead start right behind the front guard page,
// with the bytes behind their end poisoned: then both ends are exact.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/asan_interface.h>
#define YAFA_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define YAFA_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#endif
#endif
#ifndef YAFA_POISON
#define YAFA_POISON(p, n) ((void)(p), (void)(n))
#define YAFA_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace yafa::fuzz {

enum class Guard { End, Start };

class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t size, Guard guard = Guard::End) : size_(size) {
        const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
        const size_t dataPages = (size + page - 1) / page;
        mapSize_ = (dataPages + 2) * page;
        void* map = ::mmap(nullptr, mapSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (map == MAP_FAILED) {
            std::perror("mmap");
            std::abort();
        }
        map_ = static_cast<uint8_t*>(map);
        uint8_t* const rear = map_ + page + dataPages * page;
        if (::mprotect(map_, page, PROT_NONE) != 0 || ::mprotect(rear, page, PROT_NONE) != 0) {
            std::perror("mprotect");
            std::abort();
        }
        if (guard == Guard::End) {
            data_ = rear - size;
            slackStart_ = map_ + page;
        } else {
            data_ = map_ + page;
            slackStart_ = data_ + size;
        }
        slackSize_ = dataPages * page - size;
        YAFA_POISON(slackStart_, slackSize_);
    }
    ~GuardedBuffer() {
        YAFA_UNPOISON(slackStart_, slackSize_);
        ::munmap(map_, mapSize_);
    }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    uint8_t* data() { return data_; }
    size_t size() const { return size_; }
    std::span<uint8_t> span() { return {data_, size_}; }

    // Copies `bytes` to the start and fills the rest with `fill`.
    void Fill(std::span<const uint8_t> bytes, uint8_t fill) {
        const size_t n = bytes.size() < size_ ? bytes.size() : size_;
        if (n) std::memcpy(data_, bytes.data(), n);
        if (size_ > n) std::memset(data_ + n, fill, size_ - n);
    }

    // Makes [at, at + n) of the buffer unreachable for AddressSanitizer, for
    // decoders that must not touch some of it; undone by Unpoison.
    void Poison(size_t at, size_t n) { YAFA_POISON(data_ + at, n); }
    void Unpoison(size_t at, size_t n) { YAFA_UNPOISON(data_ + at, n); }

private:
    uint8_t* map_ = nullptr;
    size_t mapSize_ = 0;
    uint8_t* slackStart_ = nullptr;  // the unused bytes of the buffer's pages
    size_t slackSize_ = 0;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// Input bytes taken from the front; missing bytes read as 0.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t U16() {
        const uint16_t hi = Byte();
        return static_cast<uint16_t>((hi << 8) | Byte());
    }
    uint32_t U32() {
        const uint32_t hi = U16();
        return (hi << 16) | U16();
    }
    std::span<const uint8_t> Take(size_t n) {
        if (n > size_ - at_) n = size_ - at_;
        std::span<const uint8_t> out(data_ + at_, n);
        at_ += n;
        return out;
    }
    std::span<const uint8_t> Rest() { return Take(size_ - at_); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Reports a wrong result the sanitizers cannot see, and stops the run so
// that libFuzzer keeps the input.
[[noreturn]] inline void Finding(const char* what) {
    std::fprintf(stderr, "finding: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

}  // namespace yafa::fuzz
