// The tool's own pieces: frame lists and GIF delays.
#include <gtest/gtest.h>

#include "frame_list.h"
#include "gif_writer.h"

namespace yafa::tool {
namespace {

std::vector<int32_t> Expand(const std::vector<FrameSpan>& spans) {
    std::vector<int32_t> v;
    ForEachFrame(spans, [&](int32_t i) { return v.push_back(i), true; });
    return v;
}

TEST(FrameList, ParsesIndicesAndRangesInOrder) {
    const std::pair<const char*, std::vector<int32_t>> cases[] = {
        {"0", {0}},
        {"0-4,2,7,0", {0, 1, 2, 3, 4, 2, 7, 0}},
        {"3-3", {3}},
        {"007,10-12", {7, 10, 11, 12}},
        {"2147483647", {2147483647}},
    };
    for (const auto& [text, want] : cases) {
        std::vector<FrameSpan> spans;
        std::string error;
        ASSERT_TRUE(ParseFrameList(text, &spans, &error)) << text << ": " << error;
        EXPECT_EQ(Expand(spans), want) << text;
        EXPECT_EQ(CountFrames(spans), want.size()) << text;
    }
}

TEST(FrameList, RejectsMalformedLists) {
    for (const char* text : {"", ",", "1,", ",1", "1,,2", "-", "1-", "-1", "a", "1a", "1-2-3", " 1", "4-2",
                             "2147483648", "1+2", "0x1"}) {
        std::vector<FrameSpan> spans;
        std::string error;
        EXPECT_FALSE(ParseFrameList(text, &spans, &error)) << '"' << text << '"';
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(FrameList, ChecksTheRangeAgainstTheFrameCount) {
    std::vector<FrameSpan> spans;
    std::string error;
    ASSERT_TRUE(ParseFrameList("0-4,2", &spans, &error));
    EXPECT_TRUE(CheckFrameRange(spans, 5, &error));
    EXPECT_FALSE(CheckFrameRange(spans, 4, &error));
    EXPECT_NE(error.find("frame 4"), std::string::npos) << error;
    EXPECT_EQ(Expand(AllFrames(3)), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_TRUE(AllFrames(0).empty());
}

TEST(GifDelay, RoundsToCentisecondsAndKeepsAtLeastTwo) {
    const std::pair<int32_t, int> cases[] = {{0, 2},      {14, 2},    {24, 2},    {25, 3},     {100, 10},
                                             {4019, 402}, {-20, 2},   {655350, 65535}, {1310700, 65535}};
    for (const auto& [ms, cs] : cases) EXPECT_EQ(GifDelayFromMs(ms), cs) << ms;
}

// The tool's reading of the layout (frame offsets, storage names) shows in
// `yafa info`, tested with the tool.

}  // namespace
}  // namespace yafa::tool
