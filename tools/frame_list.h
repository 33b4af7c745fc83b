// Frame lists as given on the command line: comma-separated indices and
// inclusive ranges a-b, in request order, e.g. "0-4,2,7,0".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace yafa::tool {

struct FrameSpan {
    int32_t first;
    int32_t last;  // inclusive, never below first
};

// Parses the text; false with a reason in *error for an empty list, an empty
// item, anything but digits around one '-', a number above 2^31-1 or a range
// that runs backwards.
bool ParseFrameList(std::string_view text, std::vector<FrameSpan>* spans, std::string* error);

// The spans of "every frame in order" (none for an animation without frames).
std::vector<FrameSpan> AllFrames(int32_t frameCount);

// False with a reason when a span names a frame at or above frameCount.
bool CheckFrameRange(const std::vector<FrameSpan>& spans, int32_t frameCount, std::string* error);

// Number of frames the spans request, repetitions included.
uint64_t CountFrames(const std::vector<FrameSpan>& spans);

// Calls fn(index) for each requested frame in order; stops early and returns
// false as soon as fn returns false.
template <typename Fn>
bool ForEachFrame(const std::vector<FrameSpan>& spans, Fn&& fn) {
    for (const FrameSpan& span : spans) {
        for (int64_t i = span.first; i <= span.last; ++i) {
            if (!fn(static_cast<int32_t>(i))) return false;
        }
    }
    return true;
}

}  // namespace yafa::tool
