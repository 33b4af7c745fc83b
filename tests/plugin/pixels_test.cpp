// HAM6 and HAM8 worked by hand, and empty frames. Every depth and format of
// real files is decoded by the reference vectors.
#include <algorithm>
#include <string>

#include "support/plugin_fixture.h"

namespace yafa::test {
namespace {

using PixelPaths = PluginTest;

// A one-frame animation; format 3 is found through PROF, 4 by the derived size.
Bytes OneFrame(const Info& info, const Bytes& frame, std::vector<uint32_t> palette = {}) {
    AnimRecipe recipe;
    recipe.info = info;
    recipe.frames = {frame};
    recipe.palette = std::move(palette);
    recipe.prof = info.frameFormat == 3;
    return BuildAnim(recipe);
}

// ---- HAM, worked by hand ------------------------------------------------------

std::vector<uint32_t> HamPalette(size_t size) {
    auto palette = TestPalette(size, 8);
    palette[0] = 0x0A0B0C;
    palette[1] = 0x102030;
    palette[5] = 0x556677;
    if (size > 63) palette[63] = 0x0F1E2D;
    return palette;
}

// Each row starts from black; a modify pixel sets one component, and HAM6
// values from 64 on hold the pixel before. Planes with a palette tail, and
// chunky bytes with DRGB.
TEST_F(PixelPaths, HamRowsWorkedByHand) {
    const struct {
        int depth;
        Bytes rows;
        std::vector<uint32_t> expected;
    } cases[] = {
        {6, {0x1F, 0x2A, 0x35, 0x01, 0x00, 0x3F, 0x25, 0x13, 0x3C, 0x2F, 0x10, 0x01},
         {0x0000F0, 0xA000F0, 0xA050F0, 0x102030, 0x0A0B0C, 0x0AF00C, 0x500000, 0x500030, 0x50C030, 0xF0C030, 0xF0C000, 0x102030}},
        {6, {0x40, 0x25, 0x7F, 0xFF, 0x13, 0x80, 0x1F, 0xC0, 0x2A, 0x41, 0x01, 0x3F},
         {0, 0x500000, 0x500000, 0x500000, 0x500030, 0x500030, 0x0000F0, 0x0000F0, 0xA000F0, 0xA000F0, 0x102030, 0x10F030}},
        {8, {0x7F, 0xBF, 0xC1, 0x05, 0x41, 0x3F, 0xC0, 0x80, 0x7E, 0x00, 0xFF, 0x81},
         {0x0000FC, 0xFC00FC, 0xFC04FC, 0x556677, 0x556604, 0x0F1E2D, 0, 0, 0x0000F8, 0x0A0B0C, 0x0AFC0C, 0x04FC0C}},
    };
    for (const auto& c : cases)
        for (uint16_t format : {0, 4}) {
            const bool planar = format == 0;
            if (planar && c.rows[0] == 0x40) continue;  // values from 64 on do not fit in 6 planes
            const auto palette = HamPalette(c.depth == 8 ? 64 : 16);
            Bytes frame = planar ? PackPlanar(c.rows, 6, 2, c.depth) : c.rows;
            if (planar) Append(frame, PaletteTail(palette));
            auto anim = Open(OneFrame({6, 2, uint16_t(c.depth), 1, 1, format, uint16_t(planar ? kHam | kFramePalette : kHam)},
                                      frame, planar ? std::vector<uint32_t>{} : palette));
            ASSERT_NE(anim, nullptr);
            FrameRequest request{};
            EXPECT_EQ(Load32(anim.get(), 0, &request).pixels, c.expected) << c.depth << ' ' << format;
            EXPECT_EQ(request.depth, c.depth);
            EXPECT_FALSE(Load8(anim.get(), 0).ok);  // no 8-bit form
            EXPECT_EQ(LastReason(anim.get()), Status::IndexedOutputUnavailable);
        }
}

// A frame of width or height 0 is still a buffer the host can free.
TEST_F(PixelPaths, EmptyFramesAreNonNullBuffers) {
    for (const auto& [w, h] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{0, 0}}) {
        auto anim = Open(OneFrame({uint16_t(w), uint16_t(h), 1, 1, 1, 3, 0}, Bytes{1, 2, 3, 4}));
        ASSERT_NE(anim, nullptr);
        for (int32_t flags : {0, int32_t(ANIM_REQUEST_INDEXED)}) {
            FrameRequest request{};
            request.flags = flags;
            void* frame = api().LoadFrame(anim.get(), 0, &request);
            EXPECT_NE(frame, nullptr) << w << 'x' << h << ' ' << flags;
            api().FreeFrame(frame);
        }
    }
}

}  // namespace
}  // namespace yafa::test
