// Bitplane conversion and pixel conversion against per-pixel models, over
// widths that reach every path: whole 16-byte and 64-byte blocks, tails of
// whole bytes, rows ending inside a byte, and pictures whose rows lie back to
// back. Built twice: against the decoder as shipped (wide paths where the CPU
// has them), and with the wide and SSE2 paths compiled out.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "anim/anim_handle.h"
#include "decode/convert_pixels.h"
#include "decode/planar.h"

namespace yafa::test {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kWidths[] = {1, 7, 8, 9, 16, 17, 100, 128, 129, 320, 513, 640, 1000};
constexpr uint32_t kHeights[] = {1, 2, 5};

Bytes Random(size_t n, std::mt19937& rng) {
    Bytes out(n);
    for (auto& b : out) b = uint8_t(rng());
    return out;
}

TEST(PixelPaths, BitplanesToPixels) {
    std::mt19937 rng(7);
    for (uint32_t width : kWidths) {
        for (uint32_t height : kHeights) {
            // Rows padded to 16 bits, and rows of exactly their bytes.
            for (uint32_t rowBytes : {(width + 15) / 16 * 2, (width + 7) / 8}) {
                const uint32_t planeBytes = rowBytes * height;
                for (uint32_t planes = 0; planes <= 9; ++planes) {
                    const Bytes planar = Random(size_t(planeBytes) * planes + 1, rng);
                    Bytes pixels(size_t(width) * height, 0xEE);
                    PlanarToChunky(planar.data(), planeBytes, planes, width, height, rowBytes, pixels.data());
                    Bytes expected(pixels.size(), 0);
                    for (uint32_t y = 0; y < height; ++y)
                        for (uint32_t x = 0; x < width; ++x)
                            for (uint32_t p = 0; p < planes && p < 8; ++p)
                                expected[y * width + x] |= uint8_t(
                                    (planar[p * planeBytes + y * rowBytes + x / 8] >> (7 - x % 8) & 1) << p);
                    ASSERT_EQ(pixels, expected) << width << 'x' << height << " rowBytes " << rowBytes << " planes "
                                                << planes;
                }
            }
        }
    }
}

// The palette and true-colour paths (HAM has no wide path: its rows are
// worked by hand in the plugin tests).
TEST(PixelPaths, ConvertPixels) {
    struct Path {
        const char* name;
        int32_t depth, bytesPerPixel, sourceBytes;
    };
    const Path paths[] = {{"index", 8, 1, 1}, {"palette", 8, 4, 1}, {"palette depth 3", 3, 4, 1},
                          {"rgb15", 15, 4, 2}, {"rgb24", 24, 4, 3}};
    std::mt19937 rng(8);
    AnimHandle anim{};
    for (auto& c : anim.palette) c = uint32_t(rng());  // junk in the top byte too
    for (const Path& path : paths) {
        for (uint32_t width : kWidths) {
            for (uint32_t height : kHeights) {
                anim.width = int32_t(width), anim.height = int32_t(height);
                anim.depth = path.depth;
                const size_t count = size_t(width) * height;
                const Bytes source = Random(count * size_t(path.sourceBytes), rng);
                Bytes output(count * size_t(path.bytesPerPixel), 0xEE);
                ConvertPixels(anim, source.data(), output.data(), path.bytesPerPixel);

                std::vector<uint32_t> words(count);
                for (size_t n = 0; n < count; ++n) {
                    const uint8_t* s = &source[n * size_t(path.sourceBytes)];
                    if (path.depth == 15) {
                        const uint32_t v = uint32_t(s[0] << 8 | s[1]);
                        words[n] = (v >> 10 & 31) << 19 | (v >> 5 & 31) << 11 | (v & 31) << 3;
                    } else if (path.depth == 24) {
                        words[n] = uint32_t(s[0] << 16 | s[1] << 8 | s[2]);
                    } else {
                        words[n] = anim.palette[s[0]];
                    }
                }
                Bytes expected = source;
                if (path.bytesPerPixel == 4) {
                    expected.resize(count * 4);
                    std::memcpy(expected.data(), words.data(), count * 4);
                }
                ASSERT_EQ(output, expected) << path.name << ' ' << width << 'x' << height;
            }
        }
    }
}

}  // namespace
}  // namespace yafa::test
