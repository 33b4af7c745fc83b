#include "decode/planar.h"

#include <array>
#include <bit>
#include <cstring>

namespace yafa {
namespace {

// kSpread[b] holds bit 7 - k of b in the lowest bit of pixel k's byte, so
// that one lookup turns a plane byte into eight pixel bits, and shifting by
// p moves them to plane p's bit.
constexpr std::array<uint64_t, 256> MakeSpreadTable() {
    std::array<uint64_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        uint64_t v = 0;
        for (unsigned k = 0; k < 8; ++k) {
            const uint64_t bit = (b >> (7 - k)) & 1;
            const unsigned byteIndex = std::endian::native == std::endian::little ? k : 7 - k;
            v |= bit << (8 * byteIndex);
        }
        table[b] = v;
    }
    return table;
}
constexpr auto kSpread = MakeSpreadTable();

constexpr uint32_t kMaxPlanes = 8;

}  // namespace

void PlanarToChunky(const uint8_t* planar, uint32_t planeBytes, uint32_t planes, uint32_t width, uint32_t height,
                    uint32_t rowBytes, uint8_t* pixels) noexcept {
    if (planes > kMaxPlanes) planes = kMaxPlanes;
    const uint32_t wholeBytes = width / 8;
    const uint32_t tailPixels = width % 8;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = planar + size_t(y) * rowBytes;
        uint8_t* out = pixels + size_t(y) * width;
        for (uint32_t j = 0; j < wholeBytes; ++j) {
            uint64_t eight = 0;
            for (uint32_t p = 0; p < planes; ++p) eight |= kSpread[row[size_t(p) * planeBytes + j]] << p;
            std::memcpy(out + 8 * j, &eight, 8);
        }
        if (tailPixels) {
            uint64_t eight = 0;
            for (uint32_t p = 0; p < planes; ++p) eight |= kSpread[row[size_t(p) * planeBytes + wholeBytes]] << p;
            uint8_t bytes[8];
            std::memcpy(bytes, &eight, 8);
            std::memcpy(out + 8 * wholeBytes, bytes, tailPixels);
        }
    }
}

}  // namespace yafa
