// Written files decoded by the plugin through the stand-in host: every storage
// method and frame layout gives back the pixels it was given, in playing
// order and out of order.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "support/plugin_fixture.h"
#include "yafa_writer.h"

namespace yafa::test {
namespace {

using encode::KeyFrameMode;
using encode::Storage;
using encode::WriterOptions;

struct Layout {
    const char* name;
    WriterOptions options;
};

std::vector<Layout> Layouts() {
    auto make = [](const char* name, int format, int depth, auto&& tweak) {
        WriterOptions o;
        o.width = 37, o.height = 11, o.frameFormat = format, o.depth = depth;
        o.palette = TestPalette(size_t(1) << std::min(depth, 8), 3);
        tweak(o);
        return Layout{name, o};
    };
    return {
        make("planar word delta", 0, 5, [](WriterOptions& o) { o.width = 48, o.delta = true, o.deltaUnit = 2; }),
        make("planar from1 palettes", 1, 4, [](WriterOptions& o) {
            o.delta = true, o.keyFrames = KeyFrameMode::From1, o.framePalette = true; }),
        make("HAM6 from0", 2, 6, [](WriterOptions& o) { o.ham = true, o.delta = true, o.keyFrames = KeyFrameMode::From0; }),
        make("chunky delta from01", 4, 8, [](WriterOptions& o) {
            o.delta = true, o.keyFrames = KeyFrameMode::From01, o.framePalette = true; }),
        make("chunky long delta", 3, 6, [](WriterOptions& o) { o.width = 64, o.delta = true, o.deltaUnit = 4; }),
        make("RGB24", 4, 24, [](WriterOptions&) {}),
        make("RGB15", 3, 15, [](WriterOptions&) {}),
        make("HAM8 without PROF", 4, 8, [](WriterOptions& o) { o.ham = true, o.writeProf = false; }),
    };
}

// Expected 0x00RRGGBB of every frame, following the decoder's conversions.
std::vector<uint32_t> Expected(const encode::Frame& f, const WriterOptions& o, const std::vector<uint32_t>& palette) {
    std::vector<uint32_t> out;
    if (o.depth == 24) return f.rgb;
    if (o.depth == 15) {
        for (uint32_t c : f.rgb) out.push_back(c & 0xF8F8F8);
        return out;
    }
    const int bits = o.depth - 2;
    uint32_t held = 0;
    for (size_t n = 0; n < f.indices.size(); ++n) {
        const uint32_t v = f.indices[n];
        if (!o.ham) {
            out.push_back(palette[v]);
            continue;
        }
        if (n % o.width == 0) held = 0;
        const uint32_t control = v >> bits, value = (v & ((1u << bits) - 1)) << (8 - bits);
        held = control == 0 ? palette[v]
             : control == 1 ? (held & 0xFFFF00) | value
             : control == 2 ? (held & 0x00FFFF) | value << 16
                            : (held & 0xFF00FF) | value << 8;
        out.push_back(held);
    }
    return out;
}

class WriterThroughPlugin : public PluginTest {};

TEST_F(WriterThroughPlugin, EveryStorageAndLayoutDecodes) {
    for (const Layout& layout : Layouts())
        for (Storage storage : {Storage::Raw, Storage::S404, Storage::XpkFast, Storage::XpkNuke, Storage::XpkRake,
                                Storage::Auto}) {
            WriterOptions o = layout.options;
            if (!o.writeProf && storage != Storage::Raw) continue;
            o.storage = storage;
            SCOPED_TRACE(std::string(layout.name) + " / " + encode::StorageName(storage));
            // A block moving over a pattern; true colour gets a gradient too.
            std::mt19937 rng(11);
            const int limit = o.ham ? (o.depth == 6 ? 64 : 256) : 1 << std::min(o.depth, 8);
            std::vector<encode::Frame> frames(6);
            for (size_t i = 0; i < frames.size(); ++i) {
                for (int y = 0; y < o.height; ++y)
                    for (int x = 0; x < o.width; ++x) {
                        const bool block = std::abs(x - 5 * int(i) - 3) < 3 && y > 2 && y < 8;
                        // Word and long columns reach the whole row only at widths of 16 / 32.
                        const int v = block ? int(i * 7 + 1) % limit : (x / 4 + y) % limit;
                        frames[i].indices.push_back(uint8_t(v));
                        frames[i].rgb.push_back(block ? 0xFF8000u + uint32_t(i) : uint32_t(x * 6) << 16 | uint32_t(y * 20));
                    }
                if (o.framePalette && i % 2) frames[i].palette = TestPalette(size_t(1) << o.depth, uint32_t(i));
            }
            const auto file = encode::WriteYafa(frames, o);
            AnimPtr anim = Open(file);
            ASSERT_TRUE(anim);
            std::vector<std::vector<uint32_t>> expected;
            std::vector<uint32_t> palette = o.palette;
            palette.resize(256, 0);
            for (const auto& f : frames) {
                if (!f.palette.empty()) std::copy(f.palette.begin(), f.palette.end(), palette.begin());
                expected.push_back(Expected(f, o, palette));
            }
            for (int i : {0, 1, 2, 3, 4, 5, 4, 1, 5, 0}) {
                const Frame32 got = Load32(anim.get(), i);
                ASSERT_TRUE(got.ok) << "frame " << i;
                ASSERT_EQ(got.pixels, expected[size_t(i)]) << "frame " << i;
            }
        }
}

// The files kept in examples/ open and decode, and the ball stored with each
// method gives the same pixels as the raw one.
TEST_F(WriterThroughPlugin, ExampleFilesDecode) {
    auto readFile = [](const std::string& name) {
        std::ifstream in(std::string(YAFA_EXAMPLES_DIR) + "/" + name, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    };
    std::vector<std::vector<uint32_t>> ball;
    for (const char* name : {"ball_raw.yafa", "ball_s404.yafa", "ball_fast.yafa", "ball_nuke.yafa", "ball_rake.yafa",
                             "wheel_rgb24.yafa", "wheel_ham6.yafa", "cycle_palette.yafa"}) {
        SCOPED_TRACE(name);
        AnimOpenInfo info{};
        AnimPtr anim = Open(readFile(name), 0, &info);
        ASSERT_TRUE(anim);
        const bool isBall = std::string(name).starts_with("ball");
        for (int i = 0; i < info.frameCount; ++i) {
            const Frame32 got = Load32(anim.get(), i);
            ASSERT_TRUE(got.ok) << "frame " << i;
            if (!isBall) continue;
            if (ball.size() < size_t(info.frameCount)) {
                ball.push_back(got.pixels);
            } else {
                EXPECT_EQ(got.pixels, ball[size_t(i)]) << "frame " << i;
            }
        }
    }
}

}  // namespace
}  // namespace yafa::test
