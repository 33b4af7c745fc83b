// The tool's own pieces: frame lists, GIF delays, and the GIF writer read
// back by pack's GIF reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <set>

#include "frame_list.h"
#include "gif_writer.h"
#include "image_input.h"

namespace yafa::tool {
namespace {

TEST(FrameList, ParsesChecksOrRejects) {
    const std::pair<const char*, std::vector<int32_t>> good[] = {
        {"0-4,2,7,0", {0, 1, 2, 3, 4, 2, 7, 0}}, {"3-3", {3}}, {"007,10-12", {7, 10, 11, 12}}, {"2147483647", {2147483647}}};
    for (const auto& [text, want] : good) {
        std::vector<FrameSpan> spans;
        std::string error;
        ASSERT_TRUE(ParseFrameList(text, &spans, &error)) << text << ": " << error;
        std::vector<int32_t> got;
        ForEachFrame(spans, [&](int32_t i) { return got.push_back(i), true; });
        EXPECT_EQ(got, want) << text;
        EXPECT_EQ(CountFrames(spans), want.size()) << text;
        const int32_t last = *std::max_element(want.begin(), want.end());
        EXPECT_TRUE(last == INT32_MAX || CheckFrameRange(spans, last + 1, &error)) << text;
        EXPECT_FALSE(CheckFrameRange(spans, last, &error)) << text;
    }
    for (const char* text : {"", ",", "1,", ",1", "1,,2", "-", "1-", "-1", "a", "1a", "1-2-3", " 1", "4-2", "2147483648", "0x1"}) {
        std::vector<FrameSpan> spans;
        std::string error;
        EXPECT_FALSE(ParseFrameList(text, &spans, &error)) << '"' << text << '"';
        EXPECT_FALSE(error.empty()) << text;
    }
    EXPECT_EQ(CountFrames(AllFrames(3)), 3u);
}

TEST(GifDelay, RoundsToCentisecondsAndKeepsAtLeastTwo) {
    const std::pair<int32_t, int> cases[] = {{0, 2}, {24, 2}, {25, 3}, {100, 10}, {4019, 402}, {-20, 2}, {1310700, 65535}};
    for (const auto& [ms, cs] : cases) EXPECT_EQ(GifDelayFromMs(ms), cs) << ms;
}

// Random scenes written by the GIF writer and read back by pack's GIF reader
// as a viewer composes them: every frame exactly, with its delay. Later
// frames change a random rectangle, maybe empty. Kind 0: a few colours in one
// global table; kind 1: exactly 256 in the global table (an entry is left for
// transparency only when a frame's changes do not use them all); kind 2: each
// frame shows all 256 colours of a set that moves on every frame (a table per
// frame).
TEST(GifWriter, EveryFrameComesBackExactly) {
    std::mt19937 random(12);
    const std::string path = ::testing::TempDir() + "gif_writer_" + std::to_string(::getpid()) + ".gif";
    for (int run = 0; run < 24; ++run) {
        const int kind = run % 3;
        const uint32_t width = 16 + random() % 24, height = 16 + random() % 20, count = 1 + random() % 7;
        // The k-th colour of frame t's set; kind 2's set is the window [40t, 40t + 256) of 512 multiples of 977.
        auto colour = [&](uint32_t t, uint32_t k) {
            k %= 256;
            return kind == 0 ? 0x102030u * (k % 5) : kind == 1 ? k * 0x010203u & 0xFFFFFFu : (t * 40 + k) % 512 * 977u;
        };
        std::vector<std::vector<uint32_t>> frames;
        std::vector<uint32_t> picture(size_t{width} * height);
        std::set<uint32_t> used;
        for (uint32_t t = 0; t < count; ++t) {
            for (uint32_t& p : picture)  // what left kind 2's set takes one of its colours
                if (kind == 2 && (p / 977 + 512 - t * 40 % 512) % 512 >= 256) p = colour(t, random());
            uint32_t left = 0, top = 0, right = width, bottom = height;
            if (t > 0) {
                left = random() % width, top = random() % height;
                right = left + random() % (width - left + 1), bottom = top + random() % (height - top + 1);
            }
            for (uint32_t y = top; y < bottom; ++y)
                for (uint32_t x = left; x < right; ++x) picture[y * width + x] = colour(t, random());
            for (uint32_t k = 0; kind == 2 && k < 256; ++k) picture[k] = colour(t, k);
            frames.push_back(picture);
            used.insert(picture.begin(), picture.end());
        }
        std::vector<uint32_t> global;
        if (kind != 2) global.assign(used.begin(), used.end());
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        GifAnimationWriter gif;
        std::string error;
        bool ok = gif.Open(file, width, height, global, &error);
        for (uint32_t t = 0; t < count; ++t) ok = ok && gif.AddFrame(frames[t].data(), uint16_t(2 + t), &error);
        ok = ok && gif.Close(&error);
        std::fclose(file);
        ASSERT_TRUE(ok) << error;

        const auto input = Input::Open(path, &error);
        InputError readError;
        auto source = FrameSource::Open({&*input}, 0, &readError);
        ASSERT_TRUE(source) << readError.message;
        InputFrame f;
        for (uint32_t t = 0; t < count; ++t) {
            ASSERT_TRUE(source->Next(&f, &readError)) << "run " << run << " frame " << t << ": " << readError.message;
            EXPECT_EQ(f.rgb, frames[t]) << "run " << run << " frame " << t;
            EXPECT_EQ(f.delayCs, int32_t(2 + t));
        }
        EXPECT_FALSE(source->Next(&f, &readError));
        EXPECT_EQ(readError.message, "");
    }
    std::remove(path.c_str());
}

}  // namespace
}  // namespace yafa::tool
