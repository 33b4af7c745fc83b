// Pixel layouts of stored frames: chunky pixels to bitplanes, true colour to
// RGB15 / RGB24 bytes, and a simple HAM encoder.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace yafa::encode {

// Bytes per plane row: the width taken up to a multiple of 16 pixels, over 8.
uint32_t PlaneRowBytes(uint32_t width);

// `depth` planes (1..8) of `height` rows of PlaneRowBytes(width) bytes, plane
// 0 first; pixel x is bit 7 - x % 8 of byte x / 8, plane p holds bit p of the
// pixel value. Bits past the width are 0.
std::vector<uint8_t> ToPlanar(std::span<const uint8_t> pixels, uint32_t width, uint32_t height, int depth);

// Big-endian 16-bit pixels: bit 15 clear, then 5 bits each of red, green and
// blue (the top bits of each 8-bit component).
std::vector<uint8_t> PackRgb15(std::span<const uint32_t> rgb);
// Red, green and blue bytes per pixel.
std::vector<uint8_t> PackRgb24(std::span<const uint32_t> rgb);

// HAM values (hamDepth 6 or 8) for an image of 0x00RRGGBB pixels. Each pixel
// takes whichever of the base colours (the first 16 or 64 entries of
// `basePalette`) or the three single-component changes of the colour held
// from the pixel before comes closest; every row starts from black.
std::vector<uint8_t> EncodeHam(std::span<const uint32_t> rgb, uint32_t width, uint32_t height,
                               std::span<const uint32_t> basePalette, int hamDepth);

}  // namespace yafa::encode
