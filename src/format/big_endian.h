// Big-endian loads and stores. Every number in a YAFA file and in its packed
// streams is big-endian and is assembled byte by byte, so the result is the
// same on any processor. The decoder, the packers, the tool and the tests
// all take them from here.
#pragma once

#include <cstdint>
#include <vector>

namespace yafa {

constexpr uint16_t LoadU16BE(const uint8_t* p) noexcept {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

constexpr uint32_t LoadU32BE(const uint8_t* p) noexcept {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

constexpr void StoreU16BE(uint8_t* p, uint32_t value) noexcept {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}

constexpr void StoreU32BE(uint8_t* p, uint32_t value) noexcept {
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

// Appenders for code that builds files in a vector (packers, writer, tests).
inline void AppendU16BE(std::vector<uint8_t>& out, uint32_t value) {
    out.resize(out.size() + 2);
    StoreU16BE(out.data() + out.size() - 2, value);
}

inline void AppendU32BE(std::vector<uint8_t>& out, uint32_t value) {
    out.resize(out.size() + 4);
    StoreU32BE(out.data() + out.size() - 4, value);
}

}  // namespace yafa
