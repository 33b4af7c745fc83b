// Bitplanes and HAM values from chunky pixels, checked by hand and by
// decoding the HAM values back.
#include <gtest/gtest.h>

#include "planar_encoder.h"

namespace yafa::test {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(Planar, TwelvePixelRowsFillTheirFirstWord) {
    // Pixels 0..11 of value 3, 0, 1, 2, ...: plane 0 holds bit 0, plane 1 bit 1.
    const Bytes pixels = {3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 3};
    EXPECT_EQ(encode::ToPlanar(pixels, 12, 1, 2), (Bytes{0xAA, 0xB0, 0x99, 0x90}));
    EXPECT_EQ(encode::PlaneRowBytes(17), 4u);
}

// Decodes HAM values the way the pixel conversion does.
std::vector<uint32_t> DecodeHam(const Bytes& values, int width, const std::vector<uint32_t>& palette, int depth) {
    std::vector<uint32_t> out;
    const int bits = depth - 2;
    uint32_t c = 0;
    for (size_t n = 0; n < values.size(); ++n) {
        if (n % size_t(width) == 0) c = 0;
        const uint32_t v = values[n], control = v >> bits, value = (v & ((1u << bits) - 1)) << (8 - bits);
        if (control == 0) c = palette[v];
        if (control == 1) c = (c & 0xFFFF00) | value;
        if (control == 2) c = (c & 0x00FFFF) | value << 16;
        if (control == 3) c = (c & 0xFF00FF) | value << 8;
        out.push_back(c);
    }
    return out;
}

TEST(Ham, ExactWhereOneComponentChangesAtATime) {
    for (int depth : {6, 8}) {
        const std::vector<uint32_t> palette = {0x000000, 0x102030, 0xFF0000};
        // Base colours, then steps that each change one component to a
        // representable value (multiples of 16 suit both depths).
        const std::vector<uint32_t> image = {0x102030, 0x1020F0, 0x5020F0, 0x5080F0, 0xFF0000, 0x000000,
                                             0x000010, 0x400010, 0x404010, 0x102030, 0x102030, 0xF02030};
        const Bytes values = encode::EncodeHam(image, 6, 2, palette, depth);
        EXPECT_EQ(DecodeHam(values, 6, palette, depth), image) << depth;
    }
}

}  // namespace
}  // namespace yafa::test
