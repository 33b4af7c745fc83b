// The writer's file layout, read back field by field: chunk order and sizes,
// INFO, one PROF and TTBL entry per frame, frame ends in PROF; exact pixel
// bytes; storage choices; and the options it refuses. Decoding of written
// files is covered through the plugin.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

#include "planar_encoder.h"
#include "yafa_writer.h"

namespace yafa::test {
namespace {

using Bytes = std::vector<uint8_t>;
using encode::Frame;
using encode::Storage;
using encode::WriterOptions;
using encode::WriteYafa;

struct Parsed {
    std::vector<std::string> chunks;  // ids in file order
    std::vector<uint32_t> info, prof, ttbl, drgb;
    std::vector<Bytes> frames;  // split by PROF, or by frame count without it
};

// Reads the chunk structure, failing the test on sizes that do not add up, a
// missing pad byte, INFO not first or BODY not last, tables that do not hold
// one entry per frame, or PROF ends that do not match BODY.
Parsed Parse(const Bytes& file) {
    Parsed p;
    auto u16 = [&](size_t at) { return uint32_t(file.at(at)) << 8 | file.at(at + 1); };
    auto u32 = [&](size_t at) { return u16(at) << 16 | u16(at + 2); };
    EXPECT_TRUE(file.size() >= 12 && !std::memcmp(file.data(), "FORM", 4) && !std::memcmp(file.data() + 8, "YAFA", 4));
    EXPECT_EQ(u32(4), file.size() - 8) << "FORM size";
    size_t at = 12, bodyStart = 0, bodySize = 0;
    while (at + 8 <= file.size()) {
        const std::string id(file.begin() + long(at), file.begin() + long(at) + 4);
        const size_t size = u32(at + 4), data = at + 8;
        p.chunks.push_back(id);
        if (id == "INFO") {
            EXPECT_TRUE(p.chunks.size() == 1 && size == 14) << "INFO first, 14 bytes";
            for (size_t i = 0; i < 7; ++i) p.info.push_back(u16(data + 2 * i));
        }
        const size_t frames = p.info.size() == 7 ? p.info[4] : 0;
        if (id == "PROF" || id == "TTBL") {
            const size_t entry = id == "PROF" ? 4 : 2;
            EXPECT_EQ(size, entry * frames) << id;
            for (size_t i = 0; i < frames; ++i) (id == "PROF" ? p.prof : p.ttbl).push_back(entry == 4 ? u32(data + 4 * i) : u16(data + 2 * i));
        } else if (id == "DRGB") {
            EXPECT_EQ(size, 4 + 12 * u16(data)) << "DRGB size";
            for (size_t e = data + 4; e < data + size; e += 12) p.drgb.push_back(uint32_t(file[e]) << 16 | file[e + 4] << 8 | file[e + 8]);
        } else if (id == "BODY") {
            bodyStart = data, bodySize = size;
        }
        at = data + size + (size & 1);
    }
    EXPECT_EQ(at, file.size()) << "chunks and pad bytes fill the FORM";
    EXPECT_TRUE(!p.chunks.empty() && p.chunks.back() == "BODY");
    const size_t count = p.info.size() == 7 ? p.info[4] : 0;
    for (size_t i = 0, start = 0; i < count && bodyStart; ++i) {
        const size_t end = p.prof.empty() ? bodySize * (i + 1) / count : p.prof[i];
        EXPECT_GT(end, start) << "frame " << i;
        p.frames.emplace_back(file.begin() + long(bodyStart + start), file.begin() + long(bodyStart + end));
        start = end;
    }
    if (!p.prof.empty()) {
        EXPECT_EQ(p.prof.back(), bodySize) << "PROF ends where BODY does";
    }
    return p;
}

std::vector<Frame> Frames(const WriterOptions& o, int count) {
    std::vector<Frame> frames(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        for (int n = 0; n < o.width * o.height; ++n) frames[size_t(i)].indices.push_back(uint8_t((n / 3 + i) % (1 << std::min(o.depth, 6))));
    return frames;
}

TEST(WriterLayout, ChunksInOrderWithTables) {
    WriterOptions o;
    o.width = 21, o.height = 5, o.depth = 3, o.frameFormat = 1;
    o.palette = {0x123456, 0xABCDEF, 0xFF0000};
    o.delays = {4, 0, 7};
    o.defaultDelay = 9;
    encode::WriteStats stats;
    const Parsed p = Parse(WriteYafa(Frames(o, 3), o, &stats));
    EXPECT_EQ(p.chunks, (std::vector<std::string>{"INFO", "PROF", "DRGB", "TTBL", "BODY"}));
    EXPECT_EQ(p.info, (std::vector<uint32_t>{21, 5, 3, 9, 3, 1, 0}));
    EXPECT_EQ(p.drgb, o.palette);
    EXPECT_EQ(p.ttbl, (std::vector<uint32_t>{4, 0, 7}));
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(p.frames[i].size(), 4u * 5 * 3);  // 21 pixels take 4 bytes per plane row

    o.writeTtbl = false, o.palette.clear(), o.delays.clear();
    o.frameFormat = 0, o.writeProf = false, o.height = 3;  // odd BODY: 4 x 3 x 3 bytes x 3 frames
    const Parsed q = Parse(WriteYafa(Frames(o, 3), o));
    EXPECT_EQ(q.chunks, (std::vector<std::string>{"INFO", "BODY"}));
    EXPECT_EQ(q.frames[1].size(), 36u);
}

// 20 x 3: plane rows of 4 bytes; a chunky delta animation pads key frames to
// 8 planes but sizes its tail from the INFO depth.
TEST(WriterLayout, KeyFrameAndPaletteTailSizes) {
    const struct {
        int format, depth;
        bool ham, delta;
        size_t tail, keyBytes;
    } cases[] = {
        {0, 5, false, false, 392, 4 * 3 * 5 + 392}, {0, 6, true, true, 200, 4 * 3 * 6 + 200},
        {1, 8, true, false, 776, 4 * 3 * 8 + 776},  {4, 5, false, true, 392, 4 * 3 * 8 + 392},
        {3, 8, true, true, 776, 4 * 3 * 8 + 776},   {4, 2, false, false, 56, 60 + 56},
    };
    for (const auto& c : cases) {
        WriterOptions o;
        o.width = 20, o.height = 3, o.frameFormat = c.format, o.depth = c.depth, o.ham = c.ham;
        o.delta = c.delta, o.framePalette = true;
        EXPECT_EQ(encode::PaletteTailSize(o), c.tail);
        EXPECT_EQ(Parse(WriteYafa(Frames(o, 4), o)).frames[0].size(), c.keyBytes) << c.format << "/" << c.depth;
    }
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
        EXPECT_EQ(Parse(WriteYafa(frames, o)).frames[0], expected);
    }
    // Pixels 3, 0, 1, 2, ...: plane 0 holds bit 0, plane 1 bit 1; bits past the width are 0.
    const Bytes pixels = {3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 3};
    EXPECT_EQ(encode::ToPlanar(pixels, 12, 1, 2), (Bytes{0xAA, 0xB0, 0x99, 0x90}));
}

TEST(WriterDelta, UnreachableChangeRefusedOrNarrowed) {
    WriterOptions o;
    o.width = 40, o.height = 4, o.depth = 2, o.delta = true, o.deltaUnit = 4;
    std::vector<Frame> frames = Frames(o, 4);
    for (auto& f : frames) f.indices.assign(160, 1);
    frames[3].indices[35] = 2;  // pixel 35: past the one long column at width 40
    EXPECT_THROW(WriteYafa(frames, o), std::invalid_argument);
    o.narrowDeltaUnit = true;
    encode::WriteStats stats;
    WriteYafa(frames, o, &stats);
    EXPECT_EQ(stats.deltaUnit, 1);  // width 40: word columns reach pixel 31 only as well
    EXPECT_EQ(Parse(WriteYafa(frames, o)).info[6], 0x04u);
}

TEST(WriterStorage, RawFrameNeverStartsWithPackerTag) {
    WriterOptions o;
    o.width = 16, o.height = 2, o.frameFormat = 4, o.depth = 8;
    std::vector<Frame> frames(2);
    for (auto& f : frames) f.indices.assign(32, 7);
    std::memcpy(frames[0].indices.data(), "S404", 4);
    std::memcpy(frames[1].indices.data(), "XPKF", 4);
    encode::WriteStats stats;
    const Parsed p = Parse(WriteYafa(frames, o, &stats));
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_NE(stats.frames[i].stored, Storage::Raw);
        EXPECT_EQ(p.frames[i].size(), stats.frames[i].storedSize);
    }
}

TEST(WriterStorage, AutoKeepsTheSmallestOfEveryMethod) {
    WriterOptions o;
    o.width = 64, o.height = 32, o.depth = 4, o.storage = Storage::Auto;
    encode::WriteStats stats;
    const Parsed p = Parse(WriteYafa(Frames(o, 3), o, &stats));
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
