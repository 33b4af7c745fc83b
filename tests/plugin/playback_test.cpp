// LoadFrame's replay of delta sequences (counted in decodes: one host seek
// per frame) and requests outside the frame range. Frame delays, with and
// without TTBL, are checked by the reference vectors.
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

}  // namespace
}  // namespace yafa::test
