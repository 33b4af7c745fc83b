// The tool's own pieces: frame lists and GIF delays.
#include <gtest/gtest.h>

#include <algorithm>

#include "frame_list.h"
#include "gif_writer.h"

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

}  // namespace
}  // namespace yafa::tool
