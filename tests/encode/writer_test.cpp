// The writer: exact pixel bytes, storage choices, and the options it refuses. The layout of written files is read
// back by the plugin in writer_plugin_test.cpp and by the reference vectors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "planar_encoder.h"
#include "yafa_writer.h"

namespace yafa::test {
namespace {

using Bytes = std::vector<uint8_t>;
using encode::Frame;
using encode::Storage;
using encode::WriterOptions;
using encode::WriteYafa;

// The BODY chunk's data.
Bytes Body(const Bytes& file) {
    const char tag[] = "BODY";
    const auto at = std::search(file.begin(), file.end(), tag, tag + 4);
    EXPECT_NE(at, file.end());
    if (at == file.end()) return {};
    const size_t size = size_t(at[4]) << 24 | at[5] << 16 | at[6] << 8 | at[7];
    return Bytes(at + 8, at + 8 + long(size));
}

std::vector<Frame> Frames(const WriterOptions& o, int count) {
    std::vector<Frame> frames(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        for (int n = 0; n < o.width * o.height; ++n) frames[size_t(i)].indices.push_back(uint8_t((n / 3 + i) % (1 << std::min(o.depth, 6))));
    return frames;
}

TEST(WriterLayout, ExactPixelBytes) {
    for (int depth : {15, 24}) {
        WriterOptions o;
        o.width = 3, o.height = 1, o.frameFormat = depth == 15 ? 3 : 4, o.depth = depth;
        std::vector<Frame> frames(1);
        frames[0].rgb = {0x123456, 0xFFFFFF, 0x08F810};
        const Bytes expected = depth == 24 ? Bytes{0x12, 0x34, 0x56, 0xFF, 0xFF, 0xFF, 0x08, 0xF8, 0x10}
                                           // 0 00010 00110 01010, 0 11111 11111 11111, 0 00001 11111 00010
                                           : Bytes{0x08, 0xCA, 0x7F, 0xFF, 0x07, 0xE2};
        EXPECT_EQ(Body(WriteYafa(frames, o)), expected);
    }
    // Pixels 3, 0, 1, 2, ...: plane 0 holds bit 0, plane 1 bit 1; bits past the width are 0.
    const Bytes pixels = {3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 3};
    EXPECT_EQ(encode::ToPlanar(pixels, 12, 1, 2), (Bytes{0xAA, 0xB0, 0x99, 0x90}));
}

// A raw frame that starts like a packed one is stored packed; Auto keeps the
// smallest of every method.
TEST(WriterStorage, RawFramesNeverStartWithAPackerTagAndAutoKeepsTheSmallest) {
    WriterOptions o;
    o.width = 16, o.height = 2, o.frameFormat = 4, o.depth = 8;
    std::vector<Frame> frames(2);
    for (auto& f : frames) f.indices.assign(32, 7);
    std::memcpy(frames[0].indices.data(), "S404", 4);
    std::memcpy(frames[1].indices.data(), "XPKF", 4);
    encode::WriteStats stats;
    WriteYafa(frames, o, &stats);
    for (size_t i = 0; i < 2; ++i) EXPECT_NE(stats.frames[i].stored, Storage::Raw);

    o = WriterOptions{};
    o.width = 64, o.height = 32, o.depth = 4, o.storage = Storage::Auto;
    WriteYafa(Frames(o, 3), o, &stats);
    for (const auto& s : stats.frames) {
        ASSERT_EQ(s.trials.size(), 5u);
        for (const auto& t : s.trials) EXPECT_LE(s.storedSize, t.size);
    }
}

TEST(WriterOptions, RefusesWhatCannotBeWritten) {
    const std::function<void(WriterOptions&)> bad[] = {
        [](WriterOptions& o) { o.depth = 9; },
        [](WriterOptions& o) { o.ham = true, o.depth = 5; },
        [](WriterOptions& o) { o.frameFormat = 4, o.depth = 24, o.framePalette = true; },
        [](WriterOptions& o) { o.frameFormat = 4, o.depth = 24, o.delta = true; },
        [](WriterOptions& o) { o.frameFormat = 1, o.writeProf = false; },
        [](WriterOptions& o) { o.writeProf = false, o.storage = Storage::S404; },
        [](WriterOptions& o) { o.delta = true, o.deltaUnit = 3; },
        [](WriterOptions& o) { o.depth = 1; },  // pixel values up to 3
        [](WriterOptions& o) { o.delays = {1}; },
    };
    for (const auto& change : bad) {
        WriterOptions o;
        o.width = 8, o.height = 2, o.depth = 2;
        change(o);
        std::vector<Frame> frames(2);
        for (auto& f : frames) f.indices.assign(16, 3), f.rgb.assign(16, 0);
        EXPECT_THROW(WriteYafa(frames, o), std::invalid_argument);
    }
    // A change past the one long column at width 40 is refused, or narrowed
    // when allowed: word columns reach pixel 31 only as well.
    WriterOptions o;
    o.width = 40, o.height = 2, o.depth = 2, o.delta = true, o.deltaUnit = 4;
    std::vector<Frame> frames(4);
    for (auto& f : frames) f.indices.assign(80, 1);
    frames[3].indices[35] = 2;
    EXPECT_THROW(WriteYafa(frames, o), std::invalid_argument);
    o.narrowDeltaUnit = true;
    encode::WriteStats stats;
    WriteYafa(frames, o, &stats);
    EXPECT_EQ(stats.deltaUnit, 1);
}

}  // namespace
}  // namespace yafa::test
