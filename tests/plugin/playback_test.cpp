// LoadFrame's replay of delta sequences (counted in decodes: one host seek
// per raw frame), frame delays, and requests outside the frame range.
#include <cstring>

#include "support/delta_anim.h"
#include "support/plugin_fixture.h"

namespace yafa::test {
namespace {

struct Step {
    int32_t frame;
    uint64_t decodes;
};

class Replay : public PluginTest {
protected:
    // Requests each step's frame, alternating 32-bit and 8-bit output, and
    // checks its pixels and decode count.
    void Play(const DeltaAnim& anim, AnimHandle* handle, const std::vector<Step>& steps) {
        bool indexed = false;
        for (const Step& s : steps) {
            SCOPED_TRACE(testing::Message() << "frame " << s.frame);
            Frame32 f32;
            Frame8 f8;
            const uint64_t seeks = SeeksDuring([&] {
                if (indexed)
                    f8 = Load8(handle, s.frame);
                else
                    f32 = Load32(handle, s.frame);
            });
            EXPECT_EQ(seeks, s.decodes);
            const size_t i = size_t(s.frame);
            if (indexed) {
                ASSERT_TRUE(f8.ok);
                EXPECT_EQ(f8.indices, anim.expected[i]);
            } else {
                ASSERT_TRUE(f32.ok);
                EXPECT_EQ(f32.pixels, Lookup(anim.expected[i], anim.palettes[i]));
            }
            indexed = !indexed;
        }
    }
};

TEST_F(Replay, ForwardSkipsBackwardReplaysFromZeroLastFrameWraps) {
    const DeltaAnim anim = MakeDeltaAnim({.width = 16, .height = 4, .depth = 2, .frames = 5, .seed = 11});
    auto handle = Open(anim.file);
    ASSERT_NE(handle, nullptr);
    Play(anim, handle.get(), {{2, 3}, {1, 2}, {4, 3}, {4, 5}, {0, 1}});
}

TEST_F(Replay, PlayingInOrderDecodesEachFrameOnce) {
    const DeltaAnim anim = MakeDeltaAnim({.width = 16, .height = 4, .depth = 2, .frames = 5, .seed = 12});
    auto handle = Open(anim.file);
    ASSERT_NE(handle, nullptr);
    Play(anim, handle.get(), {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {0, 1}, {1, 1}});
}

TEST_F(Replay, FramesWithoutDeltasDecodeOncePerRequest) {
    std::mt19937 rng(13);
    std::vector<Bytes> images;
    for (int i = 0; i < 5; ++i) images.push_back(RandomPixels(16 * 4, 3, rng));
    const auto palette = TestPalette(8);
    auto handle = Open(PlanarAnim(images, 16, 4, 3, palette));
    ASSERT_NE(handle, nullptr);
    for (int32_t frame : {3, 1, 4, 0, 0, 2}) {
        Frame32 f;
        EXPECT_EQ(SeeksDuring([&] { f = Load32(handle.get(), frame); }), 1u) << frame;
        ASSERT_TRUE(f.ok);
        EXPECT_EQ(f.pixels, Lookup(images[size_t(frame)], palette)) << frame;
    }
}

// Out-of-range indices fail without touching the playback state.
TEST_F(Replay, IndicesOutsideTheAnimationFailWithoutStateChange) {
    const DeltaAnim anim = MakeDeltaAnim({.width = 16, .height = 4, .depth = 2, .frames = 5, .seed = 14});
    auto handle = Open(anim.file);
    ASSERT_NE(handle, nullptr);
    Play(anim, handle.get(), {{2, 3}});
    for (int32_t bad : {-1, 5, 6, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(SeeksDuring([&] {
                      EXPECT_FALSE(Load32(handle.get(), bad).ok) << bad;
                      EXPECT_FALSE(Load8(handle.get(), bad).ok) << bad;
                  }),
                  0u)
            << bad;
        EXPECT_EQ(api().GetFrameDelay(handle.get(), bad), 0) << bad;
    }
    Play(anim, handle.get(), {{3, 1}});
}

// ---- GetFrameDelay ----------------------------------------------------------

using FrameDelay = PluginTest;

Bytes DelayFile(uint16_t defaultDelay, uint16_t frames, const std::vector<uint16_t>& ttbl) {
    Bytes file = Form({InfoChunk(Info{16, 2, 1, defaultDelay, frames, 0, 0})});
    if (!ttbl.empty()) Append(file, TtblChunk(ttbl));
    Append(file, BodyChunk(std::vector<Bytes>{}));
    return file;
}

int32_t TicksToMs(uint32_t ticks) { return int32_t(double(ticks) / 50.0 * 1000.0); }

TEST_F(FrameDelay, EveryTickCountFollowsTheDoubleRule) {
    std::vector<uint16_t> ticks;
    for (uint32_t t = 1; t <= 65535; ++t) ticks.push_back(uint16_t(t));
    auto anim = Open(DelayFile(0, 65535, ticks));
    ASSERT_NE(anim, nullptr);
    int oneShort = 0, smallest = 0, mismatches = 0;
    for (uint32_t t = 1; t <= 65535; ++t) {
        const int32_t ms = api().GetFrameDelay(anim.get(), int32_t(t - 1));
        if (ms != TicksToMs(t) && ++mismatches <= 5) ADD_FAILURE() << t << " ticks gave " << ms;
        if (ms == int32_t(20 * t) - 1 && ++oneShort == 1) smallest = int(t);
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(oneShort, 590);
    EXPECT_EQ(smallest, 201);

    auto zero = Open(DelayFile(0, 1, {}));
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(api().GetFrameDelay(zero.get(), 0), 0);
}

TEST_F(FrameDelay, HandWorkedTickCounts) {
    const std::pair<uint16_t, int32_t> cases[] = {{1, 20},      {3, 60},      {50, 1000}, {201, 4019},
                                                  {203, 4059},  {402, 8039},  {65535, 1310700}};
    for (const auto& [ticks, ms] : cases) {
        auto anim = Open(DelayFile(ticks, 2, {}));
        ASSERT_NE(anim, nullptr);
        EXPECT_EQ(api().GetFrameDelay(anim.get(), 0), ms) << ticks;
        EXPECT_EQ(api().GetFrameDelay(anim.get(), 1), ms) << ticks;
    }
}

TEST_F(FrameDelay, ZeroEntriesTakeTheNearestEarlierNonZeroOne) {
    struct Case {
        std::vector<uint16_t> ttbl;
        std::vector<int32_t> ms;
    };
    const Case cases[] = {
        {{0, 5, 0, 0}, {0, 100, 100, 100}},
        {{7, 0, 0, 9, 0}, {140, 140, 140, 180, 180}},
        {{0, 0, 0}, {0, 0, 0}},
        {{2, 0, 1}, {40, 40, 20}},
    };
    for (const Case& c : cases) {
        auto anim = Open(DelayFile(3, uint16_t(c.ttbl.size()), c.ttbl));  // defaultDelay is not used
        ASSERT_NE(anim, nullptr);
        for (size_t f = 0; f < c.ms.size(); ++f) EXPECT_EQ(api().GetFrameDelay(anim.get(), int32_t(f)), c.ms[f]) << f;
    }
}

}  // namespace
}  // namespace yafa::test
