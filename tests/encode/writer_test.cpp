// The writer against an independent reading of its files: chunk structure,
// INFO and tables, and every frame decoded back with the decoder's rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>

#include "encode/reference_reader.h"
#include "yafa_writer.h"

namespace yafa::test {
namespace {

using encode::Frame;
using encode::KeyFrameMode;
using encode::Storage;
using encode::WriterOptions;
using encode::WriteYafa;

// Frames whose pixels may change only where `changeable` allows; elsewhere
// they keep the first frame's pattern. Half the sequences are a square
// moving over a pattern, half random noise.
std::vector<Frame> Sequence(const WriterOptions& o, int count, bool noise, uint32_t seed,
                            const std::function<bool(int, int)>& changeable) {
    std::mt19937 rng(seed);
    const int limit = o.ham ? 64 : 1 << std::min(o.depth, 8);
    std::vector<Frame> frames(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        Frame& f = frames[size_t(i)];
        for (int y = 0; y < o.height; ++y)
            for (int x = 0; x < o.width; ++x) {
                int v = (x / 3 + y / 2) % limit;
                if (i > 0 && changeable(x, y)) {
                    if (noise) v = rng() % 3 ? frames[size_t(i - 1)].indices[f.indices.size()] : int(rng() % unsigned(limit));
                    else if (std::abs(x - 3 * i) < 4 && std::abs(y - i) < 3) v = (i + 1) % limit;
                }
                f.indices.push_back(uint8_t(v));
            }
        if (o.framePalette && i % 2 == 0)
            for (int k = 0; k < std::min(limit, o.ham ? (o.depth == 8 ? 64 : 16) : limit); ++k)
                f.palette.push_back(uint32_t(rng()) & 0xFFFFFF);
    }
    return frames;
}

// Decodes the written file raw and compares every frame's pixels and palette.
void ExpectRoundTrip(const std::vector<Frame>& frames, const WriterOptions& o) {
    const Bytes file = WriteYafa(frames, o);
    const ParsedYafa parsed = ParseYafa(file);
    const auto decoded = DecodeRaw(parsed);
    ASSERT_EQ(decoded.size(), frames.size());
    std::vector<uint32_t> colours = o.palette;
    for (size_t i = 0; i < frames.size(); ++i) {
        ASSERT_EQ(decoded[i].pixels, frames[i].indices) << "frame " << i;
        if (!frames[i].palette.empty()) colours = frames[i].palette;
        for (size_t k = 0; o.framePalette && k < colours.size(); ++k)
            ASSERT_EQ(decoded[i].palette[k], colours[k]) << i << "/" << k;
    }
}

TEST(WriterLayout, ChunksInOrderWithTables) {
    WriterOptions o;
    o.width = 21, o.height = 5, o.depth = 3, o.frameFormat = 1;
    o.palette = {0x123456, 0xABCDEF, 0xFF0000};
    o.delays = {4, 0, 7};
    o.defaultDelay = 9;
    const auto frames = Sequence(o, 3, false, 1, [](int, int) { return true; });
    const ParsedYafa p = ParseYafa(WriteYafa(frames, o));
    EXPECT_EQ(p.chunks, (std::vector<std::string>{"INFO", "PROF", "DRGB", "TTBL", "BODY"}));
    EXPECT_EQ((std::vector<int>{p.width, p.height, p.depth, p.defaultDelay, p.frameCount, p.frameFormat, p.flags}),
              (std::vector<int>{21, 5, 3, 9, 3, 1, 0}));
    EXPECT_EQ(p.drgb, o.palette);
    EXPECT_EQ(p.ttbl, o.delays);
    EXPECT_EQ(p.frames[0].size(), 4u * 5 * 3);  // 21 pixels take 4 bytes per plane row

    o.writeTtbl = false, o.palette.clear(), o.delays.clear();
    o.frameFormat = 0, o.writeProf = false, o.height = 3;  // odd BODY: 4 x 3 x 3 bytes x 3 frames
    const ParsedYafa q = ParseYafa(WriteYafa(Sequence(o, 3, true, 2, [](int, int) { return true; }), o));
    EXPECT_EQ(q.chunks, (std::vector<std::string>{"INFO", "BODY"}));
    EXPECT_EQ(q.frames[1].size(), 36u);
}

struct TailCase {
    int format, depth;
    bool ham, delta;
    size_t tail, keyBytes;  // key frame: buffer image and tail
};

TEST(WriterLayout, PaletteTailFollowsInfoDepth) {
    // 20 x 3: plane rows of 4 bytes; a chunky delta animation pads key frames
    // to 8 planes but sizes its tail from the INFO depth.
    const TailCase cases[] = {
        {0, 5, false, false, 392, 4 * 3 * 5 + 392}, {0, 6, true, true, 200, 4 * 3 * 6 + 200},
        {1, 8, true, false, 776, 4 * 3 * 8 + 776},  {4, 5, false, true, 392, 4 * 3 * 8 + 392},
        {3, 8, true, true, 776, 4 * 3 * 8 + 776},   {4, 2, false, false, 56, 60 + 56},
    };
    for (const TailCase& c : cases) {
        WriterOptions o;
        o.width = 20, o.height = 3, o.frameFormat = c.format, o.depth = c.depth, o.ham = c.ham;
        o.delta = c.delta, o.framePalette = true;
        EXPECT_EQ(encode::PaletteTailSize(o), c.tail);
        const auto frames = Sequence(o, 4, true, 3, [](int, int) { return true; });
        const ParsedYafa p = ParseYafa(WriteYafa(frames, o));
        EXPECT_EQ(p.frames[0].size(), c.keyBytes) << c.format << "/" << c.depth;
        ExpectRoundTrip(frames, o);
    }
}

// Every key-frame mode and delta unit, planar and chunky, at widths that are
// and are not multiples of 16 and 32, with changes only where columns reach.
TEST(WriterDelta, DecodesBackForEveryUnitAndMode) {
    for (int format : {0, 3, 4})
        for (int width : {16, 37, 40, 64})
            for (int unit : {1, 2, 4})
                for (KeyFrameMode mode : {KeyFrameMode::TwoKeys, KeyFrameMode::From1, KeyFrameMode::From0,
                                          KeyFrameMode::From01}) {
                    WriterOptions o;
                    o.width = uint16_t(width), o.height = 9, o.frameFormat = format, o.depth = format ? 8 : 5;
                    o.delta = true, o.deltaUnit = unit, o.keyFrames = mode, o.framePalette = format == 4;
                    const int rowBytes = (width + 15) / 16 * 2;
                    const int reached = unit == 1 ? rowBytes : width / (8 * unit) * unit;
                    // Key frames and cleared buffers hold 0 past the reach.
                    auto changeable = [&](int x, int y) {
                        return format ? (y * width + x) % rowBytes < reached : x < reached * 8;
                    };
                    for (bool noise : {false, true}) {
                        auto frames = Sequence(o, 7, noise, uint32_t(width * unit), changeable);
                        if (mode == KeyFrameMode::From0 || mode == KeyFrameMode::From01)
                            for (auto& f : frames)
                                for (int n = 0; n < width * 9; ++n)
                                    if (!changeable(n % width, n / width)) f.indices[size_t(n)] = 0;
                        SCOPED_TRACE(testing::Message() << "format " << format << " width " << width << " unit "
                                                        << unit << " mode " << int(mode) << " noise " << noise);
                        ExpectRoundTrip(frames, o);
                    }
                }
}

TEST(WriterLayout, TrueColourPixelBytes) {
    for (int depth : {15, 24}) {
        WriterOptions o;
        o.width = 3, o.height = 1, o.frameFormat = depth == 15 ? 3 : 4, o.depth = depth;
        std::vector<Frame> frames(1);
        frames[0].rgb = {0x123456, 0xFFFFFF, 0x08F810};
        const ParsedYafa p = ParseYafa(WriteYafa(frames, o));
        const Bytes expected = depth == 24 ? Bytes{0x12, 0x34, 0x56, 0xFF, 0xFF, 0xFF, 0x08, 0xF8, 0x10}
                                           // 0 00010 00110 01010, 0 11111 11111 11111, 0 00001 11111 00010
                                           : Bytes{0x08, 0xCA, 0x7F, 0xFF, 0x07, 0xE2};
        EXPECT_EQ(DecodeRaw(p)[0].pixels, expected);
    }
}

TEST(WriterDelta, UnreachableChangeRefusedOrNarrowed) {
    WriterOptions o;
    o.width = 40, o.height = 4, o.depth = 2, o.delta = true, o.deltaUnit = 4;
    auto frames = Sequence(o, 4, false, 1, [](int, int) { return false; });
    frames[3].indices[35] ^= 1;  // pixel 35: past the one long column at width 40
    EXPECT_THROW(WriteYafa(frames, o), std::invalid_argument);
    o.narrowDeltaUnit = true;
    encode::WriteStats stats;
    WriteYafa(frames, o, &stats);
    EXPECT_EQ(stats.deltaUnit, 1);  // width 40: word columns reach pixel 31 only as well
    ExpectRoundTrip(frames, o);
}

TEST(WriterStorage, RawFrameNeverStartsWithPackerTag) {
    WriterOptions o;
    o.width = 16, o.height = 2, o.frameFormat = 4, o.depth = 8;
    std::vector<Frame> frames(2);
    for (auto& f : frames) f.indices.assign(32, 7);
    std::memcpy(frames[0].indices.data(), "S404", 4);
    std::memcpy(frames[1].indices.data(), "XPKF", 4);
    encode::WriteStats stats;
    const ParsedYafa p = ParseYafa(WriteYafa(frames, o, &stats));
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_NE(stats.frames[i].stored, Storage::Raw);
        EXPECT_EQ(p.frames[i].size(), stats.frames[i].storedSize);
    }
    EXPECT_EQ(std::string(p.frames[0].begin(), p.frames[0].begin() + 4), stats.frames[0].stored == Storage::S404 ? "S404" : "XPKF");
}

TEST(WriterStorage, AutoKeepsTheSmallestOfEveryMethod) {
    WriterOptions o;
    o.width = 64, o.height = 32, o.depth = 4, o.storage = Storage::Auto;
    encode::WriteStats stats;
    const ParsedYafa p = ParseYafa(WriteYafa(Sequence(o, 3, true, 5, [](int, int) { return true; }), o, &stats));
    for (size_t i = 0; i < 3; ++i) {
        const auto& s = stats.frames[i];
        ASSERT_EQ(s.trials.size(), 5u);
        for (const auto& t : s.trials) EXPECT_LE(s.storedSize, t.size);
        EXPECT_EQ(p.frames[i].size(), s.storedSize);
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
}

}  // namespace
}  // namespace yafa::test
