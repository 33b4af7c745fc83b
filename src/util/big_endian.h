// Big-endian loads from memory. Every number in a stored frame is big-endian.
#pragma once

#include <cstdint>

namespace yafa {

constexpr uint16_t LoadU16BE(const uint8_t* p) noexcept {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

constexpr uint32_t LoadU32BE(const uint8_t* p) noexcept {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

}  // namespace yafa
