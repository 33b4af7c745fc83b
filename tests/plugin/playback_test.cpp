// LoadFrame's replay of delta sequences (counted in decodes: one host seek
// per frame), frame delays, and requests outside the frame range.
#include "support/plugin_fixture.h"

namespace yafa::test {
namespace {

class Replay : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        encode::WriterOptions o;
        o.width = 16, o.height = 4, o.depth = 2, o.delta = true, o.palette = TestPalette(4);
        written_ = Write(MakeFrames(o, 5, 11), o);
        anim_ = Open(written_.file);
        ASSERT_NE(anim_, nullptr);
    }
    void TearDown() override {
        anim_.reset();
        PluginTest::TearDown();
    }
    // Requests each frame, alternating 32-bit and 8-bit output, and checks
    // its pixels and the number of frames decoded for it.
    void Play(const std::vector<std::pair<int32_t, uint64_t>>& steps) {
        bool indexed = false;
        for (const auto& [frame, decodes] : steps) {
            const size_t i = size_t(frame);
            if (indexed) {
                Frame8 f;
                EXPECT_EQ(SeeksDuring([&] { f = Load8(anim_.get(), frame); }), decodes) << "frame " << frame;
                EXPECT_EQ(f.indices, written_.indices[i]) << "frame " << frame;
            } else {
                Frame32 f;
                EXPECT_EQ(SeeksDuring([&] { f = Load32(anim_.get(), frame); }), decodes) << "frame " << frame;
                EXPECT_EQ(f.pixels, written_.pixels[i]) << "frame " << frame;
            }
            indexed = !indexed;
        }
    }
    Written written_;
    AnimPtr anim_{nullptr, AnimCloser{nullptr}};
};

TEST_F(Replay, ForwardSkipsBackwardReplaysFromZeroLastFrameWraps) {
    Play({{2, 3}, {1, 2}, {4, 3}, {4, 5}, {0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {0, 1}});
}

// Out-of-range indices fail without touching the playback state.
TEST_F(Replay, IndicesOutsideTheAnimationFailWithoutStateChange) {
    Play({{2, 3}});
    for (int32_t bad : {-1, 5, 6, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(SeeksDuring([&] {
                      EXPECT_FALSE(Load32(anim_.get(), bad).ok) << bad;
                      EXPECT_FALSE(Load8(anim_.get(), bad).ok) << bad;
                  }),
                  0u) << bad;
        EXPECT_EQ(api().GetFrameDelay(anim_.get(), bad), 0) << bad;
    }
    Play({{3, 1}});
}

TEST_F(PluginTest, FramesWithoutDeltasDecodeOncePerRequest) {
    std::mt19937 rng(13);
    std::vector<Bytes> images;
    for (int i = 0; i < 5; ++i) images.push_back(RandomPixels(16 * 4, 3, rng));
    const auto palette = TestPalette(8);
    auto anim = Open(PlanarAnim(images, 16, 4, 3, palette));
    ASSERT_NE(anim, nullptr);
    for (int32_t frame : {3, 1, 4, 0, 0, 2}) {
        Frame32 f;
        EXPECT_EQ(SeeksDuring([&] { f = Load32(anim.get(), frame); }), 1u) << frame;
        EXPECT_EQ(f.pixels, Lookup(images[size_t(frame)], palette)) << frame;
    }
}

// ---- GetFrameDelay ----------------------------------------------------------

Bytes DelayFile(uint16_t defaultDelay, uint16_t frames, const std::vector<uint16_t>& ttbl) {
    Bytes file = Form({InfoChunk(Info{16, 2, 1, defaultDelay, frames, 0, 0})});
    if (!ttbl.empty()) Append(file, TtblChunk(ttbl));
    Append(file, BodyChunk(std::vector<Bytes>{}));
    return file;
}

// Ticks of 1/50 s become milliseconds in double precision, which leaves some
// one short (201 ticks: 4019 ms).
TEST_F(PluginTest, DefaultDelayInMilliseconds) {
    const std::pair<uint16_t, int32_t> cases[] = {{0, 0},       {1, 20},     {3, 60},     {50, 1000},
                                                  {201, 4019},  {203, 4059}, {402, 8039}, {65535, 1310700}};
    for (const auto& [ticks, ms] : cases) {
        auto anim = Open(DelayFile(ticks, 2, {}));
        ASSERT_NE(anim, nullptr);
        EXPECT_EQ(api().GetFrameDelay(anim.get(), 0), ms) << ticks;
        EXPECT_EQ(api().GetFrameDelay(anim.get(), 1), ms) << ticks;
    }
}

TEST_F(PluginTest, TtblZeroEntriesTakeTheNearestEarlierNonZeroOne) {
    const std::pair<std::vector<uint16_t>, std::vector<int32_t>> cases[] = {
        {{0, 5, 0, 0}, {0, 100, 100, 100}},
        {{7, 0, 0, 9, 0}, {140, 140, 140, 180, 180}},
        {{0, 0, 0}, {0, 0, 0}},
        {{2, 0, 201}, {40, 40, 4019}},
    };
    for (const auto& [ttbl, ms] : cases) {
        auto anim = Open(DelayFile(3, uint16_t(ttbl.size()), ttbl));  // defaultDelay is not used
        ASSERT_NE(anim, nullptr);
        for (size_t f = 0; f < ms.size(); ++f) EXPECT_EQ(api().GetFrameDelay(anim.get(), int32_t(f)), ms[f]) << f;
    }
}

}  // namespace
}  // namespace yafa::test
