#include "planar_encoder.h"

#include <algorithm>
#include <stdexcept>

#include "format/big_endian.h"

namespace yafa::encode {

uint32_t PlaneRowBytes(uint32_t width) { return ((width + 15) / 16) * 2; }

std::vector<uint8_t> ToPlanar(std::span<const uint8_t> pixels, uint32_t width, uint32_t height, int depth) {
    if (depth < 1 || depth > 8) throw std::invalid_argument("planar depth must be 1..8");
    if (pixels.size() != size_t{width} * height) throw std::invalid_argument("pixel count differs from width x height");
    const size_t rowBytes = PlaneRowBytes(width);
    const size_t planeBytes = rowBytes * height;
    std::vector<uint8_t> planes(planeBytes * static_cast<size_t>(depth), 0);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = pixels.data() + size_t{y} * width;
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t value = row[x];
            const uint8_t bit = static_cast<uint8_t>(0x80u >> (x & 7));
            const size_t at = size_t{y} * rowBytes + x / 8;
            for (int p = 0; p < depth; ++p)
                if (value & (1u << p)) planes[static_cast<size_t>(p) * planeBytes + at] |= bit;
        }
    }
    return planes;
}

std::vector<uint8_t> PackRgb15(std::span<const uint32_t> rgb) {
    std::vector<uint8_t> out;
    out.reserve(rgb.size() * 2);
    for (uint32_t c : rgb) {
        const uint32_t v = (((c >> 19) & 31) << 10) | (((c >> 11) & 31) << 5) | ((c >> 3) & 31);
        AppendU16BE(out, v);
    }
    return out;
}

std::vector<uint8_t> PackRgb24(std::span<const uint32_t> rgb) {
    std::vector<uint8_t> out;
    out.reserve(rgb.size() * 3);
    for (uint32_t c : rgb) {
        out.push_back(static_cast<uint8_t>(c >> 16));
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c));
    }
    return out;
}

namespace {

int Sq(int v) { return v * v; }

}  // namespace

std::vector<uint8_t> EncodeHam(std::span<const uint32_t> rgb, uint32_t width, uint32_t height,
                               std::span<const uint32_t> basePalette, int hamDepth) {
    if (hamDepth != 6 && hamDepth != 8) throw std::invalid_argument("HAM depth must be 6 or 8");
    if (rgb.size() != size_t{width} * height) throw std::invalid_argument("pixel count differs from width x height");
    // Control codes sit above `valueBits`; a changed component keeps `valueBits` top bits.
    const int valueBits = hamDepth - 2;
    const int shift = 8 - valueBits;
    const int maxValue = (1 << valueBits) - 1;
    const size_t bases = std::min<size_t>(basePalette.size(), size_t{1} << valueBits);
    std::vector<uint8_t> out(rgb.size());
    for (uint32_t y = 0; y < height; ++y) {
        int held[3] = {0, 0, 0};  // red, green, blue
        for (uint32_t x = 0; x < width; ++x) {
            const size_t n = size_t{y} * width + x;
            const int want[3] = {static_cast<int>((rgb[n] >> 16) & 255), static_cast<int>((rgb[n] >> 8) & 255),
                                 static_cast<int>(rgb[n] & 255)};
            int bestError = -1;
            uint8_t bestValue = 0;
            int bestColour[3] = {0, 0, 0};
            for (size_t i = 0; i < bases; ++i) {
                const int c[3] = {static_cast<int>((basePalette[i] >> 16) & 255),
                                  static_cast<int>((basePalette[i] >> 8) & 255),
                                  static_cast<int>(basePalette[i] & 255)};
                const int error = Sq(c[0] - want[0]) + Sq(c[1] - want[1]) + Sq(c[2] - want[2]);
                if (bestError < 0 || error < bestError) {
                    bestError = error;
                    bestValue = static_cast<uint8_t>(i);
                    std::copy(c, c + 3, bestColour);
                }
            }
            // Control 1 changes blue, 2 red, 3 green.
            static constexpr int kComponentOfControl[4] = {-1, 2, 0, 1};
            for (int control = 1; control <= 3; ++control) {
                const int k = kComponentOfControl[control];
                const int value = std::min(maxValue, (want[k] + (1 << (shift - 1))) >> shift);
                int c[3] = {held[0], held[1], held[2]};
                c[k] = value << shift;
                const int error = Sq(c[0] - want[0]) + Sq(c[1] - want[1]) + Sq(c[2] - want[2]);
                if (bestError < 0 || error < bestError) {
                    bestError = error;
                    bestValue = static_cast<uint8_t>((control << valueBits) | value);
                    std::copy(c, c + 3, bestColour);
                }
            }
            out[n] = bestValue;
            std::copy(bestColour, bestColour + 3, held);
        }
    }
    return out;
}

}  // namespace yafa::encode
