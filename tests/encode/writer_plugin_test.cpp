// Written files decoded by the plugin through the stand-in host: every storage
// method and frame layout gives back the pixels it was given, in playing
// order and out of order.
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
            Written w = Write(MakeFrames(o, 6, 11), o);
            // Word deltas take a long-delta bit as set but unused.
            if (o.deltaUnit == 2) w.file[12 + 8 + 13] |= 0x10;  // INFO's flags, the last INFO word
            AnimPtr anim = Open(w.file);
            ASSERT_TRUE(anim);
            for (int i : {0, 1, 2, 3, 4, 5, 4, 1, 5, 0}) {
                FrameRequest request{};
                ASSERT_EQ(Load32(anim.get(), i).pixels, w.pixels[size_t(i)]) << "frame " << i;
                if (o.depth > 8 || o.ham) continue;
                ASSERT_EQ(Load8(anim.get(), i, &request).indices, w.indices[size_t(i)]) << "frame " << i;
                EXPECT_TRUE(std::equal(w.palettes[size_t(i)].begin(), w.palettes[size_t(i)].end(), request.palette));
                EXPECT_EQ(request.depth, o.frameFormat >= 3 && o.delta ? 8 : o.depth);
            }
        }
}

}  // namespace
}  // namespace yafa::test
