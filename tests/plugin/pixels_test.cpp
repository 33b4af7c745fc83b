// HAM6 and HAM8 worked by hand, and frames that
// must fail alone. Every depth and format of real files is decoded by the
// reference vectors.
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

// ---- frames that fail while the others load -------------------------------------

TEST_F(PixelPaths, BadFramesFailAlone) {
    std::mt19937 rng(23);
    std::vector<Bytes> images, planes;
    for (int i = 0; i < 3; ++i) {
        images.push_back(RandomPixels(16 * 2, 2, rng));
        planes.push_back(PackPlanar(images.back(), 16, 2, 2));
    }
    const auto palette = TestPalette(4, 2);
    const uint32_t s = uint32_t(planes[0].size());
    auto body = [&](std::initializer_list<Bytes> parts) {
        Bytes b;
        for (const Bytes& p : parts) Append(b, p);
        return b;
    };
    const struct {
        const char* name;
        std::vector<uint32_t> ends;  // none: frames located by their size
        Bytes body;
        int32_t bad;
        std::vector<int32_t> good;  // frame k shows image k
    } cases[] = {
        // Frame 0 runs 5 bytes long, frame 1 ends before it starts.
        {"end before start", {s + 5, s, 2 * s}, body({planes[0], planes[2], Bytes(s, 0xEE)}), 1, {0, 2}},
        {"end past the file", {s, 2 * s, 3 * s + 1}, body({planes[0], planes[1], planes[2]}), 2, {0, 1}},
        {"end far past the file", {s, 2 * s, 0xFFFFFFFFu}, body({planes[0], planes[1], planes[2]}), 2, {0, 1}},
        {"raw frame cut by the file end", {}, body({planes[0], planes[1], Bytes(planes[2].begin(), planes[2].end() - 3)}), 2, {0, 1}},
        {"too short for its planes", {s - 1, 2 * s - 1, 3 * s - 1}, body({Bytes(planes[0].begin(), planes[0].end() - 1), planes[1], planes[2]}), 0, {1, 2}},
    };
    for (const auto& c : cases) {
        Bytes file = Form({InfoChunk(Info{16, 2, 2, 1, 3, uint16_t(c.ends.empty() ? 0 : 1), 0}), DrgbChunk(palette)});
        if (!c.ends.empty()) Append(file, ProfChunk(c.ends));
        Append(file, RawChunk("BODY", uint32_t(c.body.size()), c.body));
        auto anim = Open(file);
        ASSERT_NE(anim, nullptr) << c.name;
        for (int round = 0; round < 2; ++round) {
            EXPECT_FALSE(Load32(anim.get(), c.bad).ok || Load8(anim.get(), c.bad).ok) << c.name;
            for (int32_t f : c.good) {
                EXPECT_EQ(Load8(anim.get(), f).indices, images[size_t(f)]) << c.name << ' ' << f;
                EXPECT_EQ(Load32(anim.get(), f).pixels, Lookup(images[size_t(f)], palette)) << c.name << ' ' << f;
            }
        }
    }
}

// Chunky frames one byte short of their pixels, and a frame shorter than
// its palette tail; the frame after each loads.
TEST_F(PixelPaths, FrameTooShortForPixelsOrPaletteTail) {
    const struct {
        Info info;
        size_t goodLength, badLength;
    } cases[] = {
        {{5, 3, 8, 1, 2, 3, 0}, 15, 14},
        {{5, 3, 15, 1, 2, 3, 0}, 30, 29},
        {{5, 3, 24, 1, 2, 3, 0}, 45, 44},
        {{16, 2, 1, 1, 2, 1, kFramePalette}, 36, 20},  // 4 bytes of planes, a 32-byte tail
    };
    std::mt19937 rng(24);
    for (const auto& c : cases) {
        Bytes good = RandomPixels(c.goodLength, 8, rng);
        if (c.info.flags & kFramePalette) {
            good.resize(4);
            Append(good, PaletteTail(TestPalette(2, 3)));
        }
        AnimRecipe recipe;
        recipe.info = c.info;
        recipe.frames = {Bytes(good.begin(), good.begin() + long(c.badLength)), good};
        auto anim = Open(BuildAnim(recipe));
        ASSERT_NE(anim, nullptr);
        EXPECT_FALSE(Load32(anim.get(), 0).ok) << c.info.depth;
        EXPECT_TRUE(Load32(anim.get(), 1).ok) << c.info.depth;
        EXPECT_FALSE(Load32(anim.get(), 0).ok) << c.info.depth;
    }
}

// Frames of 1 to 3 stored bytes are shorter than the tag read in front of
// every frame; they fail, and the full frame after them loads.
TEST_F(PixelPaths, FramesShorterThanATag) {
    std::mt19937 rng(25);
    const Bytes good = RandomPixels(15, 8, rng);
    AnimRecipe recipe;
    recipe.info = {5, 3, 8, 1, 4, 3, 0};
    recipe.frames = {Bytes{1}, Bytes{1, 2}, Bytes{1, 2, 3}, good};
    auto anim = Open(BuildAnim(recipe));
    ASSERT_NE(anim, nullptr);
    for (int32_t f : {0, 1, 2}) EXPECT_FALSE(Load8(anim.get(), f).ok) << f;
    EXPECT_EQ(Load8(anim.get(), 3).indices, good);
}

}  // namespace
}  // namespace yafa::test
