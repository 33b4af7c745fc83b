// Delta animations: hand-worked op lists, and delta frames that reach
// outside their frame or plane. Every key-frame mode and unit of our
// writer's files is decoded in writer_plugin_test.cpp and by the reference
// vectors.
#include <algorithm>
#include <array>
#include <string>

#include "support/plugin_fixture.h"

namespace yafa::test {
namespace {

using DeltaTest = PluginTest;

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
    for (int32_t f : {0, 1, 2, 2, 0, 2, 1})
        EXPECT_EQ(Load8(handle.get(), f).indices, (f == 0 ? kImage0 : f == 1 ? kImage1 : kImage2)) << f;
}

// ---- delta frames that leave their frame or plane -------------------------------

struct CorruptCase {
    std::string name;
    Bytes frame2;
    Status status;
};

std::vector<CorruptCase> CorruptCases() {
    const uint32_t end = 64 + 6;  // length of a frame with a 6-byte payload
    const std::array<uint32_t, 8> at64{64, 0, 0, 0, 0, 0, 0, 0};
    auto data = [](uint32_t offset) { return std::array<uint32_t, 8>{offset, 0, 0, 0, 0, 0, 0, 0}; };
    return {
        {"OpListAtEnd", DeltaBytes(data(end), at64, Bytes(6, 0)), Status::OpListOutsideFrame},
        {"HugeOffsets", DeltaBytes(data(0xFFFFFFF0), data(0xFFFFFFFF), Bytes(6, 0)), Status::OpListOutsideFrame},
        {"DataOffsetHuge", DeltaBytes(at64, data(0xFFFFFFFF), {1, 0x81, 0, 0, 0, 0}), Status::DeltaDataOutsideFrame},
        {"OpListCutShort", DeltaBytes(data(68), at64, {1, 2, 3, 4, 3, 0x81}), Status::OpListRunsPastFrame},
        {"UniqueRunDataCutShort", DeltaBytes(at64, data(68), {1, 0x84, 0, 0, 9, 9}), Status::DeltaDataOutsideFrame},
        {"SameRunDataCutShort", DeltaBytes(at64, data(end), {1, 0x00, 0x02, 0, 0, 0}), Status::DeltaDataOutsideFrame},
        // Runs that would leave the plane. In plane 0 they would land in plane
        // 1, inside the buffer: only the row bound, not a crash, stops them.
        {"SameRunOneRowPastLastRow", DeltaBytes(at64, data(69), {2, 0x02, 0x00, 0x03, 0, 0xAA}), Status::OpListLeavesPlane},
        {"UniqueRunBelowLastRow", DeltaBytes(at64, data(67), {1, 0x85, 0, 1, 2, 3, 4, 5}), Status::OpListLeavesPlane},
        {"SkipThenRunBelowLastRow", DeltaBytes(at64, data(68), {2, 0x04, 0x81, 0, 0x11, 0}), Status::OpListLeavesPlane},
        // Plane 0 applies cleanly; plane 1 then runs past the buffer's end.
        {"SecondPlaneBelowLastRow", DeltaBytes({64, 68, 0, 0, 0, 0, 0, 0}, {67, 72, 0, 0, 0, 0, 0, 0},
                                               {1, 0x81, 0, 0x3C, 1, 0x00, 0x09, 0, 0xFF}), Status::OpListLeavesPlane},
        // The op list ends the frame; its second same run has lost its count.
        {"SameRunCountCutShort", DeltaBytes(data(65), at64, {0xAA, 2, 0x00, 0x01, 0x00}), Status::OpListRunsPastFrame},
        {"HeaderCutShort", Bytes(34, 0), Status::DeltaHeaderCutShort},  // ends inside plane 0's data offset
        {"HeaderCutInsidePlane1", Bytes(38, 0), Status::DeltaHeaderCutShort},  // inside plane 1's data offset
    };
}

void PrintTo(const CorruptCase& c, std::ostream* os) { *os << c.name; }

class CorruptDelta : public DeltaTest, public ::testing::WithParamInterface<CorruptCase> {};

// After a failed frame playback restarts from frame 0, so every request
// below is counted in decodes (one seek each).
TEST_P(CorruptDelta, FailsTheFrameAndRestartsPlayback) {
    auto handle = Open(HandAnim({kFrame0, kFrame1, GetParam().frame2, kFrame2}));
    ASSERT_NE(handle, nullptr);
    const struct {
        int32_t frame;
        bool ok;
        uint64_t decodes;
    } steps[] = {{0, true, 1}, {1, true, 1}, {2, false, 1}, {2, false, 3}, {1, true, 2},
                 {3, false, 1}, {3, false, 3}, {0, true, 1}, {1, true, 1}};
    for (const auto& s : steps) {
        Frame8 f;
        EXPECT_EQ(SeeksDuring([&] { f = Load8(handle.get(), s.frame); }), s.decodes) << "frame " << s.frame;
        EXPECT_EQ(f.ok, s.ok) << "frame " << s.frame;
        if (!s.ok) {
            EXPECT_EQ(LastReason(handle.get()), GetParam().status) << "frame " << s.frame;
        }
        if (s.ok && f.ok) {
            EXPECT_EQ(f.indices, s.frame == 0 ? kImage0 : kImage1) << "frame " << s.frame;
        }
    }
    EXPECT_FALSE(Load32(handle.get(), 2).ok);
}

INSTANTIATE_TEST_SUITE_P(Frames, CorruptDelta, ::testing::ValuesIn(CorruptCases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace yafa::test
