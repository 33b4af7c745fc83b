// Delta animations: the four key-frame modes with 1-, 2- and 4-byte columns,
// chunky deltas, palette tails of replayed frames, hand-worked op lists, and
// delta frames that reach outside their frame or plane.
#include <algorithm>
#include <array>
#include <string>

#include "support/delta_anim.h"
#include "support/plugin_fixture.h"

namespace yafa::test {
namespace {

class DeltaTest : public PluginTest {
protected:
    // Loads `frame`, 8-bit or 32-bit, and checks pixels, palette and depth.
    void Expect(const DeltaAnim& anim, AnimHandle* handle, int32_t frame, bool indexed, int32_t depth) {
        SCOPED_TRACE(testing::Message() << "frame " << frame << (indexed ? " 8-bit" : " 32-bit"));
        FrameRequest request{};
        const size_t i = size_t(frame);
        if (indexed) {
            const Frame8 f = Load8(handle, frame, &request);
            ASSERT_TRUE(f.ok);
            EXPECT_EQ(f.indices, anim.expected[i]);
            ASSERT_NE(request.palette, nullptr);
            EXPECT_TRUE(std::equal(anim.palettes[i].begin(), anim.palettes[i].end(), request.palette));
        } else {
            const Frame32 f = Load32(handle, frame, &request);
            ASSERT_TRUE(f.ok);
            EXPECT_EQ(f.pixels, Lookup(anim.expected[i], anim.palettes[i]));
        }
        EXPECT_EQ(request.depth, depth);
    }
    void PlayAll(const DeltaAnim& anim, AnimHandle* handle, int32_t depth) {
        const int32_t n = int32_t(anim.expected.size());
        for (int32_t f = 0; f < n; ++f) Expect(anim, handle, f, f % 2 == 1, depth);
        // Out of order: replays from 0, skips ahead, repeats.
        const int32_t order[] = {n - 2, 1, n - 1, 0, n - 3, 2, 2, n - 1};
        bool indexed = true;
        for (int32_t f : order) Expect(anim, handle, f, indexed = !indexed, depth);
    }
};

// ---- key-frame modes x delta units ---------------------------------------------

struct ModeCase {
    uint16_t mode;  // kDeltaFrom0 / kDeltaFrom1 bits
    int unit;
    int width;
};

void PrintTo(const ModeCase& c, std::ostream* os) {
    *os << "mode " << c.mode << " unit " << c.unit << " width " << c.width;
}

class DeltaModes : public DeltaTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(DeltaModes, EveryFrameInAnyOrder) {
    const auto [mode, unit, width] = GetParam();
    const uint16_t unitFlag = unit == 2 ? kWordDelta : unit == 4 ? kLongDelta : 0;
    const uint16_t tails = width == 40 ? kFramePalette : 0;
    const DeltaAnim anim = MakeDeltaAnim({.width = width, .height = 7, .depth = 3, .format = 1,
                                          .flags = uint16_t(kDelta | mode | unitFlag | tails), .frames = 6,
                                          .seed = uint32_t(mode + unit * 7 + width)});
    AnimOpenInfo info{};
    auto handle = Open(anim.file, 0, &info);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(info.depth, 3);
    PlayAll(anim, handle.get(), 3);
}

std::vector<ModeCase> ModeCases() {
    std::vector<ModeCase> cases;
    for (uint16_t mode : {0, 0x20, 0x40, 0x60})
        for (int unit : {1, 2, 4})
            for (int width : {20, 40, 64}) cases.push_back({mode, unit, width});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(ModesUnitsWidths, DeltaModes, ::testing::ValuesIn(ModeCases()), [](const auto& info) {
    return "Mode" + std::to_string(info.param.mode) + "Unit" + std::to_string(info.param.unit) + "Width" +
           std::to_string(info.param.width);
});

// Word deltas take the long-delta bit as set but unused.
TEST_F(DeltaTest, WordDeltaWinsOverLongDelta) {
    const DeltaAnim anim = MakeDeltaAnim({.width = 40, .height = 5, .depth = 2, .format = 2,
                                          .flags = kDelta | kWordDelta, .frames = 4, .seed = 31});
    Bytes file = anim.file;
    // Set the long-delta bit in INFO's flags (the last INFO word, at 12 + 8 + 12).
    file[12 + 8 + 13] |= kLongDelta;
    auto handle = Open(file);
    ASSERT_NE(handle, nullptr);
    PlayAll(anim, handle.get(), 2);
}

// ---- chunky deltas ---------------------------------------------------------------

struct ChunkyCase {
    uint16_t format, declaredDepth, mode;
    int unit;
};

void PrintTo(const ChunkyCase& c, std::ostream* os) {
    *os << "format " << c.format << " depth " << c.declaredDepth << " mode " << c.mode << " unit " << c.unit;
}

class ChunkyDeltas : public DeltaTest, public ::testing::WithParamInterface<ChunkyCase> {};

TEST_P(ChunkyDeltas, BackBuffersHoldChunkyPixelsAtDepth8) {
    const auto [format, declaredDepth, mode, unit] = GetParam();
    const uint16_t unitFlag = unit == 2 ? kWordDelta : unit == 4 ? kLongDelta : 0;
    const uint16_t tails = declaredDepth == 8 ? kFramePalette : 0;
    const DeltaAnim anim =
        MakeDeltaAnim({.width = 32, .height = 5, .depth = declaredDepth, .format = format,
                       .flags = uint16_t(kDelta | mode | unitFlag | tails), .frames = 5, .seed = uint32_t(unit + mode)});
    AnimOpenInfo info{};
    auto handle = Open(anim.file, 0, &info);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(info.depth, 8);
    PlayAll(anim, handle.get(), 8);
}

INSTANTIATE_TEST_SUITE_P(FormatsAndUnits, ChunkyDeltas,
                         ::testing::Values(ChunkyCase{3, 8, 0, 1}, ChunkyCase{4, 8, 0x60, 2},
                                           ChunkyCase{3, 24, 0x40, 4}, ChunkyCase{4, 16, 0x20, 1},
                                           ChunkyCase{4, 15, 0, 4}));

// ---- op lists by hand ---------------------------------------------------------------

// The 64-byte header from explicit offsets, then the payload.
Bytes DeltaBytes(const std::array<uint32_t, 8>& ops, const std::array<uint32_t, 8>& data, const Bytes& payload) {
    Bytes out;
    for (uint32_t o : ops) PutU32(out, o);
    for (uint32_t o : data) PutU32(out, o);
    Append(out, payload);
    return out;
}

// 16 x 4, 2 planes, 1-byte columns; frames 0 and 1 are deltas on cleared
// buffers, frame 2 builds on frame 0.
Bytes HandAnim(const std::vector<Bytes>& frames, uint16_t flags = kDelta | kDeltaFrom0) {
    AnimRecipe recipe;
    recipe.info = {16, 4, 2, 1, uint16_t(frames.size()), 1, flags};
    recipe.frames = frames;
    return BuildAnim(recipe);
}

// Pixels of a 16-pixel-wide, 2-plane image from its plane bytes.
Bytes Unplane(const std::vector<std::array<uint8_t, 2>>& plane0, const std::vector<std::array<uint8_t, 2>>& plane1) {
    Bytes pixels;
    for (size_t y = 0; y < plane0.size(); ++y)
        for (int x = 0; x < 16; ++x)
            pixels.push_back(uint8_t((plane0[y][size_t(x / 8)] >> (7 - x % 8) & 1) |
                                     (plane1[y][size_t(x / 8)] >> (7 - x % 8) & 1) << 1));
    return pixels;
}

// Frame 0, plane 0: column 0 skips 2 rows, writes AA and 55, runs a same run
// of 0 rows (taking 77) and a 0x80; column 1 writes F0 into three rows.
// Plane 1 has no op list, and its data offset points nowhere.
const Bytes kFrame0 = DeltaBytes({64, 0, 0, 0, 0, 0, 0, 0}, {73, 0xFFFFFFFF, 0, 0, 0, 0, 0, 0},
                                 {4, 0x02, 0x82, 0x00, 0x00, 0x80, 1, 0x00, 0x03,  //
                                  0xAA, 0x55, 0x77, 0xF0});
const Bytes kImage0 = Unplane({{0, 0xF0}, {0, 0xF0}, {0xAA, 0xF0}, {0x55, 0}}, {{0, 0}, {0, 0}, {0, 0}, {0, 0}});
// Frame 1, plane 1 only: column 0 unchanged, column 1 a unique run of 4.
const Bytes kFrame1 =
    DeltaBytes({0, 64, 0, 0, 0, 0, 0, 0}, {0, 67, 0, 0, 0, 0, 0, 0}, {0, 1, 0x84, 0x01, 0x02, 0x03, 0x80});
const Bytes kImage1 = Unplane({{0, 0}, {0, 0}, {0, 0}, {0, 0}}, {{0, 0x01}, {0, 0x02}, {0, 0x03}, {0, 0x80}});
// Frame 2, on frame 0: plane 0 column 0 skips 3 rows and sets the last to
// 0x0F; plane 1 column 0 sets rows 0..1 to 0xFF.
const Bytes kFrame2 = DeltaBytes({64, 69, 0, 0, 0, 0, 0, 0}, {68, 73, 0, 0, 0, 0, 0, 0},
                                 {2, 0x03, 0x81, 0, 0x0F, 1, 0x00, 0x02, 0, 0xFF});
const Bytes kImage2 = Unplane({{0, 0xF0}, {0, 0xF0}, {0xAA, 0xF0}, {0x0F, 0}}, {{0xFF, 0}, {0xFF, 0}, {0, 0}, {0, 0}});

TEST_F(DeltaTest, HandWorkedOpLists) {
    auto handle = Open(HandAnim({kFrame0, kFrame1, kFrame2}));
    ASSERT_NE(handle, nullptr);
    for (int32_t f : {0, 1, 2, 2, 0, 2, 1}) {
        const Frame8 frame = Load8(handle.get(), f);
        ASSERT_TRUE(frame.ok) << f;
        EXPECT_EQ(frame.indices, (f == 0 ? kImage0 : f == 1 ? kImage1 : kImage2)) << f;
    }
}

// Long columns: skips beyond 127 rows, same runs up to 255, unique runs
// beyond 127 rows.
TEST_F(DeltaTest, LongRunsAndSkips) {
    const int w = 16, h = 600;
    const DeltaGeometry g{1, h, 2, 1, 2};
    std::mt19937 rng(32);
    std::vector<Bytes> images, frames;
    for (int f = 0; f < 3; ++f) {
        Bytes image(size_t(w) * h, 0);
        for (int y = 0; y < h; ++y) {
            // 150 rows of 0, 300 rows of one pattern, 150 random rows; shifted per frame.
            const int band = (y + 150 * f) % 600 / 150;
            for (int x = 0; x < w; ++x)
                image[size_t(y) * w + x] = band == 0 ? 0 : band == 3 ? uint8_t(rng() & 1) : uint8_t(x & 1);
        }
        const Bytes base = f == 2 ? PackPlanar(images[0], w, h, 1) : Bytes(g.BufferSize(), 0);
        frames.push_back(DeltaFrame(EncodeDelta(base, PackPlanar(image, w, h, 1), g, rng)));
        images.push_back(std::move(image));
    }
    AnimRecipe recipe;
    recipe.info = {uint16_t(w), uint16_t(h), 1, 1, 3, 1, kDelta | kDeltaFrom0};
    recipe.frames = frames;
    auto handle = Open(BuildAnim(recipe));
    ASSERT_NE(handle, nullptr);
    for (int32_t f : {2, 0, 1, 2}) EXPECT_EQ(Load8(handle.get(), f).indices, images[size_t(f)]) << f;
}

// ---- delta frames that leave their frame or plane -------------------------------

struct CorruptCase {
    std::string name;
    Bytes frame2;
};

std::vector<CorruptCase> CorruptCases() {
    const uint32_t end = 64 + 6;  // length of a frame with a 6-byte payload
    return {
        {"OpListPastEnd", DeltaBytes({end + 10, 0, 0, 0, 0, 0, 0, 0}, {64, 0, 0, 0, 0, 0, 0, 0}, Bytes(6, 0))},
        {"OpListAtEnd", DeltaBytes({end, 0, 0, 0, 0, 0, 0, 0}, {64, 0, 0, 0, 0, 0, 0, 0}, Bytes(6, 0))},
        {"HugeOffsets", DeltaBytes({0xFFFFFFF0, 0, 0, 0, 0, 0, 0, 0}, {0xFFFFFFFF, 0, 0, 0, 0, 0, 0, 0}, Bytes(6, 0))},
        {"DataPastEnd", DeltaBytes({64, 0, 0, 0, 0, 0, 0, 0}, {end + 5, 0, 0, 0, 0, 0, 0, 0}, {1, 0x81, 0, 0, 0, 0})},
        {"DataOffsetHuge", DeltaBytes({64, 0, 0, 0, 0, 0, 0, 0}, {0xFFFFFFFF, 0, 0, 0, 0, 0, 0, 0}, {1, 0x81, 0, 0, 0, 0})},
        {"OpListCutShort", DeltaBytes({68, 0, 0, 0, 0, 0, 0, 0}, {64, 0, 0, 0, 0, 0, 0, 0}, {1, 2, 3, 4, 3, 0x81})},
        {"UniqueRunDataCutShort", DeltaBytes({64, 0, 0, 0, 0, 0, 0, 0}, {68, 0, 0, 0, 0, 0, 0, 0}, {1, 0x84, 0, 0, 9, 9})},
        {"SameRunDataCutShort", DeltaBytes({64, 0, 0, 0, 0, 0, 0, 0}, {end, 0, 0, 0, 0, 0, 0, 0}, {1, 0x00, 0x02, 0, 0, 0})},
        {"SameRunBelowLastRow", DeltaBytes({64, 0, 0, 0, 0, 0, 0, 0}, {69, 0, 0, 0, 0, 0, 0, 0}, {2, 0x02, 0x00, 0x05, 0, 0xAA})},
        {"UniqueRunBelowLastRow",
         DeltaBytes({64, 0, 0, 0, 0, 0, 0, 0}, {67, 0, 0, 0, 0, 0, 0, 0}, {1, 0x85, 0, 1, 2, 3, 4, 5})},
        {"SkipThenRunBelowLastRow",
         DeltaBytes({64, 0, 0, 0, 0, 0, 0, 0}, {68, 0, 0, 0, 0, 0, 0, 0}, {2, 0x04, 0x81, 0, 0x11, 0})},
        // Plane 0 applies cleanly; plane 1 then runs past the buffer's end.
        {"SecondPlaneBelowLastRow", DeltaBytes({64, 68, 0, 0, 0, 0, 0, 0}, {67, 72, 0, 0, 0, 0, 0, 0},
                                               {1, 0x81, 0, 0x3C, 1, 0x00, 0x09, 0, 0xFF})},
        // Ends inside plane 0's data offset.
        {"HeaderCutShort", Bytes(34, 0)},
        {"Empty4Bytes", Bytes{0, 0, 0, 0x40}},
    };
}

void PrintTo(const CorruptCase& c, std::ostream* os) { *os << c.name; }

class CorruptDelta : public DeltaTest, public ::testing::WithParamInterface<CorruptCase> {};

// After a failed frame playback restarts from frame 0, so every request
// below is counted in decodes (one seek each).
TEST_P(CorruptDelta, FailsTheFrameAndRestartsPlayback) {
    auto handle = Open(HandAnim({kFrame0, kFrame1, GetParam().frame2, kFrame2}));
    ASSERT_NE(handle, nullptr);
    auto expectLoad = [&](int32_t frame, bool ok, uint64_t decodes) {
        Frame8 f;
        EXPECT_EQ(SeeksDuring([&] { f = Load8(handle.get(), frame); }), decodes) << "frame " << frame;
        EXPECT_EQ(f.ok, ok) << "frame " << frame;
        if (ok && f.ok) {
            EXPECT_EQ(f.indices, frame == 0 ? kImage0 : kImage1) << "frame " << frame;
        }
    };
    expectLoad(0, true, 1);
    expectLoad(1, true, 1);
    expectLoad(2, false, 1);
    expectLoad(2, false, 3);
    expectLoad(1, true, 2);
    expectLoad(3, false, 1);
    expectLoad(3, false, 3);
    expectLoad(0, true, 1);
    expectLoad(1, true, 1);
    EXPECT_FALSE(Load32(handle.get(), 2).ok);
}

INSTANTIATE_TEST_SUITE_P(Frames, CorruptDelta, ::testing::ValuesIn(CorruptCases()),
                         [](const auto& info) { return info.param.name; });

// Key frames copied to the back buffers must hold all their planes.
TEST_F(DeltaTest, KeyFrameShorterThanItsPlanesFails) {
    const DeltaAnim anim =
        MakeDeltaAnim({.width = 16, .height = 4, .depth = 2, .format = 1, .flags = kDelta, .frames = 3, .seed = 33});
    std::vector<Bytes> frames = anim.frames;
    frames[1].resize(frames[1].size() - 1);
    AnimRecipe recipe;
    recipe.info = {16, 4, 2, 1, 3, 1, kDelta};
    recipe.frames = frames;
    auto handle = Open(BuildAnim(recipe));
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(Load8(handle.get(), 0).indices, anim.expected[0]);
    EXPECT_FALSE(Load8(handle.get(), 1).ok);
    EXPECT_EQ(Load8(handle.get(), 0).indices, anim.expected[0]);
}

}  // namespace
}  // namespace yafa::test
