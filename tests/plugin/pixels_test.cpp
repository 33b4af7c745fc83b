// Every pixel path from stored frame to output (planar, chunky, RGB15,
// RGB24, HAM6, HAM8, palette tails), and frames that must fail alone.
#include <algorithm>
#include <string>

#include "support/plugin_fixture.h"

namespace yafa::test {
namespace {

// ---- planar and chunky indices ------------------------------------------------

struct PlanarCase {
    int depth, width;
    uint16_t format;
};

void PrintTo(const PlanarCase& c, std::ostream* os) {
    *os << "depth " << c.depth << " width " << c.width << " format " << c.format;
}

class PlanarFrames : public PluginTest, public ::testing::WithParamInterface<PlanarCase> {};

TEST_P(PlanarFrames, BitplanesBecomeIndicesAndColours) {
    const auto [depth, width, format] = GetParam();
    const int height = 3;
    std::mt19937 rng(uint32_t(depth * 100 + width));
    const std::vector<Bytes> images{RandomPixels(size_t(width) * height, depth, rng),
                                    RandomPixels(size_t(width) * height, depth, rng)};
    const auto palette = TestPalette(256, uint32_t(depth));
    auto anim = Open(PlanarAnim(images, width, height, depth, palette, format));
    ASSERT_NE(anim, nullptr);
    for (int32_t f : {1, 0}) {
        const Frame8 f8 = Load8(anim.get(), f);
        ASSERT_TRUE(f8.ok);
        EXPECT_EQ(f8.indices, images[size_t(f)]) << f;
        const Frame32 f32 = Load32(anim.get(), f);
        ASSERT_TRUE(f32.ok);
        EXPECT_EQ(f32.pixels, Lookup(images[size_t(f)], palette)) << f;
    }
}

std::vector<PlanarCase> PlanarCases() {
    std::vector<PlanarCase> cases;
    for (int depth = 1; depth <= 8; ++depth)
        for (int width : {1, 7, 12, 17, 33}) cases.push_back({depth, width, uint16_t((depth + width) % 3)});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(DepthsAndWidths, PlanarFrames, ::testing::ValuesIn(PlanarCases()),
                         [](const auto& info) {
                             return "Depth" + std::to_string(info.param.depth) + "Width" +
                                    std::to_string(info.param.width) + "Format" + std::to_string(info.param.format);
                         });

using PixelPaths = PluginTest;

// Chunky frames: format 3 through PROF, format 4 by the derived frame size.
TEST_F(PixelPaths, ChunkyIndicesCopyAndLookUp) {
    std::mt19937 rng(21);
    const auto palette = TestPalette(256, 3);
    for (uint16_t format : {3, 4}) {
        for (uint16_t depth : {8, 5}) {
            AnimRecipe recipe;
            recipe.info = {17, 3, depth, 1, 2, format, 0};
            recipe.frames = {RandomPixels(51, 8, rng), RandomPixels(51, 8, rng)};
            recipe.palette = palette;
            recipe.prof = format == 3;
            auto anim = Open(BuildAnim(recipe));
            ASSERT_NE(anim, nullptr);
            for (int32_t f : {1, 0}) {
                EXPECT_EQ(Load8(anim.get(), f).indices, recipe.frames[size_t(f)]) << format << ' ' << f;
                EXPECT_EQ(Load32(anim.get(), f).pixels, Lookup(recipe.frames[size_t(f)], palette)) << format << ' ' << f;
            }
        }
    }
}

Bytes Rgb15Bytes(const std::vector<uint16_t>& values) {
    Bytes out;
    for (uint16_t v : values) PutU16(out, v);
    return out;
}

TEST_F(PixelPaths, Rgb15TakesFiveBitsPerComponentIgnoringBit15) {
    const std::vector<uint16_t> values{0x7FFF, 0x8000, 0xFFFF, 0x7C00, 0x03E0, 0x001F, 0x4210, 0x0421};
    const std::vector<uint32_t> expected{0xF8F8F8, 0, 0xF8F8F8, 0xF80000, 0x00F800, 0x0000F8, 0x808080, 0x080808};
    for (uint16_t format : {3, 4}) {
        AnimRecipe recipe;
        recipe.info = {4, 2, 15, 1, 1, format, 0};
        recipe.frames = {Rgb15Bytes(values)};
        recipe.prof = format == 3;
        AnimOpenInfo info{};
        auto anim = Open(BuildAnim(recipe), 0, &info);
        ASSERT_NE(anim, nullptr);
        EXPECT_EQ(info.depth, 15);
        FrameRequest request{};
        EXPECT_EQ(Load32(anim.get(), 0, &request).pixels, expected) << format;
        EXPECT_EQ(request.depth, 15);
    }
}

TEST_F(PixelPaths, Rgb24TakesBytesInOrder) {
    const Bytes bytes{0x12, 0x34, 0x56, 0xFF, 0x00, 0x80, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0xAB, 0xCD, 0xEF, 0xFF, 0xFF, 0xFF};
    const std::vector<uint32_t> expected{0x123456, 0xFF0080, 0, 0x010203, 0xABCDEF, 0xFFFFFF};
    for (uint16_t format : {3, 4}) {
        AnimRecipe recipe;
        recipe.info = {3, 2, 24, 1, 1, format, 0};
        recipe.frames = {bytes};
        recipe.prof = format == 3;
        auto anim = Open(BuildAnim(recipe));
        ASSERT_NE(anim, nullptr);
        EXPECT_EQ(Load32(anim.get(), 0).pixels, expected) << format;
    }
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

// Each row starts from black; a modify pixel sets one component.
const Bytes kHam6Rows{0x1F, 0x2A, 0x35, 0x01, 0x00, 0x3F,   //
                      0x25, 0x13, 0x3C, 0x2F, 0x10, 0x01};
const std::vector<uint32_t> kHam6Out{0x0000F0, 0xA000F0, 0xA050F0, 0x102030, 0x0A0B0C, 0x0AF00C,
                                     0x500000, 0x500030, 0x50C030, 0xF0C030, 0xF0C000, 0x102030};

TEST_F(PixelPaths, Ham6FromPlanesWithPaletteTail) {
    const auto palette = HamPalette(16);
    AnimRecipe recipe;
    recipe.info = {6, 2, 6, 1, 1, 0, kHam | kFramePalette};
    recipe.frames = {PackPlanar(kHam6Rows, 6, 2, 6)};
    Append(recipe.frames[0], PaletteTail(palette));
    recipe.prof = false;
    auto anim = Open(BuildAnim(recipe));
    ASSERT_NE(anim, nullptr);
    FrameRequest request{};
    EXPECT_EQ(Load32(anim.get(), 0, &request).pixels, kHam6Out);
    EXPECT_EQ(request.depth, 6);
}

TEST_F(PixelPaths, Ham6ValuesFrom64OnHoldThePixelBefore) {
    const Bytes rows{0x40, 0x25, 0x7F, 0xFF, 0x13, 0x80,  //
                     0x1F, 0xC0, 0x2A, 0x41, 0x01, 0x3F};
    const std::vector<uint32_t> expected{0, 0x500000, 0x500000, 0x500000, 0x500030, 0x500030,
                                         0x0000F0, 0x0000F0, 0xA000F0, 0xA000F0, 0x102030, 0x10F030};
    AnimRecipe recipe;
    recipe.info = {6, 2, 6, 1, 1, 4, kHam};
    recipe.frames = {rows};
    recipe.palette = HamPalette(16);
    recipe.prof = false;
    auto anim = Open(BuildAnim(recipe));
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(Load32(anim.get(), 0).pixels, expected);
}

TEST_F(PixelPaths, Ham8FromPlanesAndFromChunkyBytes) {
    const Bytes rows{0x7F, 0xBF, 0xC1, 0x05, 0x41, 0x3F,  //
                     0xC0, 0x80, 0x7E, 0x00, 0xFF, 0x81};
    const std::vector<uint32_t> expected{0x0000FC, 0xFC00FC, 0xFC04FC, 0x556677, 0x556604, 0x0F1E2D,
                                         0,        0,        0x0000F8, 0x0A0B0C, 0x0AFC0C, 0x04FC0C};
    // Planes with a 64-colour palette tail; chunky bytes with DRGB.
    for (uint16_t format : {0, 4}) {
        AnimRecipe recipe;
        recipe.info = {6, 2, 8, 1, 1, format, uint16_t(format == 0 ? kHam | kFramePalette : kHam)};
        recipe.frames = {format == 0 ? PackPlanar(rows, 6, 2, 8) : rows};
        if (format == 0)
            Append(recipe.frames[0], PaletteTail(HamPalette(64)));
        else
            recipe.palette = HamPalette(64);
        recipe.prof = false;
        auto anim = Open(BuildAnim(recipe));
        ASSERT_NE(anim, nullptr);
        EXPECT_EQ(Load32(anim.get(), 0).pixels, expected) << format;
    }
}

// HAM and true colour have no 8-bit form: a request for one fails, and the
// animation still serves 32-bit frames.
TEST_F(PixelPaths, IndexedRequestWithoutAnIndexedFormFails) {
    struct Case {
        Info info;
        Bytes frame;
    };
    const Case cases[] = {
        {{6, 2, 6, 1, 1, 0, kHam}, PackPlanar(kHam6Rows, 6, 2, 6)},
        {{6, 2, 8, 1, 1, 4, kHam}, Bytes(12, 0x41)},
        {{4, 2, 15, 1, 1, 4, 0}, Bytes(16, 0x21)},
        {{3, 2, 24, 1, 1, 4, 0}, Bytes(18, 0x33)},
    };
    for (const Case& c : cases) {
        AnimRecipe recipe;
        recipe.info = c.info;
        recipe.frames = {c.frame};
        recipe.prof = false;
        auto anim = Open(BuildAnim(recipe));
        ASSERT_NE(anim, nullptr);
        EXPECT_FALSE(Load8(anim.get(), 0).ok) << c.info.depth;
        EXPECT_TRUE(Load32(anim.get(), 0).ok) << c.info.depth;
    }
}

// ---- palette tails without deltas -----------------------------------------------

TEST_F(PixelPaths, EachFramesTailReplacesOnlyTheFirstPaletteSizeEntries) {
    std::mt19937 rng(22);
    const auto drgb = TestPalette(8, 1);
    const std::vector<std::vector<uint32_t>> tails{TestPalette(4, 50), TestPalette(4, 60)};
    const std::vector<Bytes> images{RandomPixels(20 * 2, 3, rng), RandomPixels(20 * 2, 3, rng)};
    for (uint16_t format : {0, 1}) {
        AnimRecipe recipe;
        recipe.info = {20, 2, 3, 1, 2, format, kFramePalette};
        recipe.palette = drgb;
        recipe.prof = format == 1;
        for (size_t f = 0; f < 2; ++f) {
            recipe.frames.push_back(PackPlanar(images[f], 20, 2, 3));
            // Depth 3 carries 8 colours; only entries 0..3 differ from DRGB.
            std::vector<uint32_t> tail = drgb;
            std::copy(tails[f].begin(), tails[f].end(), tail.begin());
            Append(recipe.frames.back(), PaletteTail(tail));
        }
        recipe.info.depth = 3;
        auto anim = Open(BuildAnim(recipe));
        ASSERT_NE(anim, nullptr);
        for (size_t f : {1, 0, 1}) {
            std::vector<uint32_t> expected = drgb;
            std::copy(tails[f].begin(), tails[f].end(), expected.begin());
            expected.resize(256, 0);
            FrameRequest request{};
            const Frame8 f8 = Load8(anim.get(), int32_t(f), &request);
            ASSERT_TRUE(f8.ok);
            EXPECT_EQ(f8.indices, images[f]);
            ASSERT_NE(request.palette, nullptr);
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), request.palette)) << format << ' ' << f;
            EXPECT_EQ(Load32(anim.get(), int32_t(f)).pixels, Lookup(images[f], expected)) << format << ' ' << f;
        }
    }
}

// A frame of width or height 0 is still a buffer the host can free.
TEST_F(PixelPaths, EmptyFramesAreNonNullBuffers) {
    for (const auto& [w, h] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{0, 0}}) {
        AnimRecipe recipe;
        recipe.info = {uint16_t(w), uint16_t(h), 1, 1, 1, 1, 0};
        recipe.frames = {Bytes{1, 2, 3, 4}};
        auto anim = Open(BuildAnim(recipe));
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

class BadFrames : public PluginTest {
protected:
    static constexpr int kW = 16, kH = 2, kDepth = 2;
    const std::vector<uint32_t> palette_ = TestPalette(4, 2);
    std::vector<Bytes> images_;
    std::vector<Bytes> planes_;

    void SetUp() override {
        PluginTest::SetUp();
        std::mt19937 rng(23);
        for (int i = 0; i < 3; ++i) {
            images_.push_back(RandomPixels(kW * kH, kDepth, rng));
            planes_.push_back(PackPlanar(images_.back(), kW, kH, kDepth));
        }
    }
    Bytes File(const std::vector<uint32_t>& ends, const Bytes& body, uint16_t frames = 3) {
        Bytes file = Form({InfoChunk(Info{kW, kH, kDepth, 1, frames, uint16_t(ends.empty() ? 0 : 1), 0}),
                           DrgbChunk(palette_)});
        if (!ends.empty()) Append(file, ProfChunk(ends));
        Append(file, RawChunk("BODY", uint32_t(body.size()), body));
        return file;
    }
    void ExpectFrames(AnimHandle* anim, std::vector<int32_t> failing, std::vector<std::pair<int32_t, size_t>> good) {
        for (int round = 0; round < 2; ++round) {
            for (int32_t f : failing) {
                EXPECT_FALSE(Load32(anim, f).ok) << f;
                EXPECT_FALSE(Load8(anim, f).ok) << f;
            }
            for (const auto& [f, image] : good) {
                EXPECT_EQ(Load8(anim, f).indices, images_[image]) << f;
                EXPECT_EQ(Load32(anim, f).pixels, Lookup(images_[image], palette_)) << f;
            }
        }
    }
};

TEST_F(BadFrames, ProfEndBeforeStart) {
    const uint32_t s = uint32_t(planes_[0].size());
    Bytes body = planes_[0];
    Append(body, planes_[2]);
    Append(body, Bytes(s, 0xEE));
    auto anim = Open(File({s + 5, s, 2 * s}, body));  // frame 0 runs 5 bytes long, frame 1 ends before it starts
    ASSERT_NE(anim, nullptr);
    ExpectFrames(anim.get(), {1}, {{0, 0}, {2, 2}});
}

TEST_F(BadFrames, ProfEndPastTheFile) {
    const uint32_t s = uint32_t(planes_[0].size());
    Bytes body = planes_[0];
    Append(body, planes_[1]);
    Append(body, planes_[2]);
    for (uint32_t end : {3 * s + 1, 3 * s + 1000, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        auto anim = Open(File({s, 2 * s, end}, body));
        ASSERT_NE(anim, nullptr);
        ExpectFrames(anim.get(), {2}, {{0, 0}, {1, 1}});
    }
}

TEST_F(BadFrames, RawFrameCutShortByTheFileEnd) {
    Bytes body = planes_[0];
    Append(body, planes_[1]);
    Append(body, Bytes(planes_[2].begin(), planes_[2].end() - 3));
    auto anim = Open(File({}, body));
    ASSERT_NE(anim, nullptr);
    ExpectFrames(anim.get(), {2}, {{1, 1}, {0, 0}});
}

TEST_F(BadFrames, FrameTooShortForItsPlanes) {
    const uint32_t s = uint32_t(planes_[0].size());
    Bytes body(planes_[0].begin(), planes_[0].end() - 1);
    Append(body, planes_[1]);
    auto anim = Open(File({s - 1, 2 * s - 1}, body, 2));
    ASSERT_NE(anim, nullptr);
    ExpectFrames(anim.get(), {0}, {{1, 1}});
}

// Chunky frames one byte short of their pixels, and a frame shorter than
// its palette tail; the frame after each loads.
TEST_F(BadFrames, FrameTooShortForPixelsOrPaletteTail) {
    struct Case {
        Info info;
        size_t goodLength, badLength;
    };
    const Case cases[] = {
        {{5, 3, 8, 1, 2, 3, 0}, 15, 14},
        {{5, 3, 15, 1, 2, 3, 0}, 30, 29},
        {{5, 3, 24, 1, 2, 3, 0}, 45, 44},
        // depth 1: 4 bytes of planes, a 32-byte tail
        {{16, 2, 1, 1, 2, 1, kFramePalette}, 36, 20},
    };
    std::mt19937 rng(24);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "depth " << c.info.depth);
        Bytes good = RandomPixels(c.goodLength, 8, rng);
        if (c.info.flags & kFramePalette) {
            good.resize(4);
            Append(good, PaletteTail(TestPalette(2, 3)));
        }
        AnimRecipe recipe;
        recipe.info = c.info;
        recipe.frames = {Bytes(good.begin(), good.begin() + ptrdiff_t(c.badLength)), good};
        auto anim = Open(BuildAnim(recipe));
        ASSERT_NE(anim, nullptr);
        EXPECT_FALSE(Load32(anim.get(), 0).ok);
        EXPECT_TRUE(Load32(anim.get(), 1).ok);
        EXPECT_FALSE(Load32(anim.get(), 0).ok);
    }
}

}  // namespace
}  // namespace yafa::test
