// Written files decoded by the plugin through the stand-in host: every storage
// method and frame layout gives back the pixels it was given, in playing
// order and out of order.
#include <fstream>
#include <iterator>

#include "support/plugin_fixture.h"

namespace yafa::test {
namespace {

using encode::KeyFrameMode;
using encode::Storage;
using encode::WriterOptions;

using WriterThroughPlugin = PluginTest;

TEST_F(WriterThroughPlugin, EveryStorageAndLayoutDecodes) {
    const struct {
        const char* name;
        int format, depth;
        void (*tweak)(WriterOptions&);
    } layouts[] = {
        {"planar word delta", 0, 5, [](WriterOptions& o) { o.width = 48, o.delta = true, o.deltaUnit = 2; }},
        {"planar from1 palettes", 1, 4, [](WriterOptions& o) { o.delta = true, o.keyFrames = KeyFrameMode::From1, o.framePalette = true; }},
        {"HAM6 from0", 2, 6, [](WriterOptions& o) { o.ham = true, o.delta = true, o.keyFrames = KeyFrameMode::From0; }},
        {"chunky delta from01", 4, 8, [](WriterOptions& o) { o.delta = true, o.keyFrames = KeyFrameMode::From01, o.framePalette = true; }},
        {"chunky long delta", 3, 6, [](WriterOptions& o) { o.width = 64, o.delta = true, o.deltaUnit = 4; }},
        {"RGB24", 4, 24, [](WriterOptions&) {}},
        {"RGB15", 3, 15, [](WriterOptions&) {}},
        {"HAM8 without PROF", 4, 8, [](WriterOptions& o) { o.ham = true, o.writeProf = false; }},
        {"planar palettes without PROF", 0, 3, [](WriterOptions& o) { o.framePalette = true, o.writeProf = false; }},
    };
    for (const auto& layout : layouts)
        for (Storage storage : {Storage::Raw, Storage::S404, Storage::XpkFast, Storage::XpkNuke, Storage::XpkRake, Storage::Auto}) {
            WriterOptions o;
            o.width = 37, o.height = 11, o.frameFormat = layout.format, o.depth = layout.depth;
            o.palette = TestPalette(size_t(1) << std::min(layout.depth, 8), 3);
            layout.tweak(o);
            if (!o.writeProf && storage != Storage::Raw) continue;
            o.storage = storage;
            SCOPED_TRACE(std::string(layout.name) + " / " + encode::StorageName(storage));
            const Written w = Write(MakeFrames(o, 6, 11), o);
            AnimPtr anim = Open(w.file);
            ASSERT_TRUE(anim);
            for (int i : {0, 1, 2, 3, 4, 5, 4, 1, 5, 0}) ASSERT_EQ(Load32(anim.get(), i).pixels, w.pixels[size_t(i)]) << "frame " << i;
        }
}

// The files kept in examples/ open and decode, and the ball stored with each
// method gives the same pixels as the raw one.
TEST_F(WriterThroughPlugin, ExampleFilesDecode) {
    std::vector<std::vector<uint32_t>> ball;
    for (const char* name : {"ball_raw.yafa", "ball_s404.yafa", "ball_fast.yafa", "ball_nuke.yafa", "ball_rake.yafa",
                             "wheel_rgb24.yafa", "wheel_ham6.yafa", "cycle_palette.yafa"}) {
        SCOPED_TRACE(name);
        std::ifstream in(std::string(YAFA_EXAMPLES_DIR) + "/" + name, std::ios::binary);
        AnimOpenInfo info{};
        AnimPtr anim = Open(Bytes(std::istreambuf_iterator<char>(in), {}), 0, &info);
        ASSERT_TRUE(anim);
        const bool isBall = std::string(name).starts_with("ball");
        for (int i = 0; i < info.frameCount; ++i) {
            const Frame32 got = Load32(anim.get(), i);
            ASSERT_TRUE(got.ok) << "frame " << i;
            if (isBall && ball.size() < size_t(info.frameCount)) {
                ball.push_back(got.pixels);
            } else if (isBall) {
                EXPECT_EQ(got.pixels, ball[size_t(i)]) << "frame " << i;
            }
        }
    }
}

}  // namespace
}  // namespace yafa::test
