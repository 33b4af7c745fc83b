#include "frame_list.h"

#include <limits>

namespace yafa::tool {
namespace {

std::string Quoted(std::string_view item) {
    std::string s;
    s.reserve(item.size() + 2);
    s.push_back('"');
    s.append(item);
    s.push_back('"');
    return s;
}

bool ParseIndex(std::string_view digits, std::string_view item, int32_t* value, std::string* error) {
    if (digits.empty()) {
        *error = Quoted(item).append(" is not a frame index or a range a-b");
        return false;
    }
    int64_t v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            *error = Quoted(item).append(" is not a frame index or a range a-b");
            return false;
        }
        v = v * 10 + (c - '0');
        if (v > std::numeric_limits<int32_t>::max()) {
            *error = std::string("frame index in ").append(Quoted(item)).append(" is too large");
            return false;
        }
    }
    *value = static_cast<int32_t>(v);
    return true;
}

}  // namespace

bool ParseFrameList(std::string_view text, std::vector<FrameSpan>* spans, std::string* error) {
    spans->clear();
    if (text.empty()) {
        *error = "the frame list is empty";
        return false;
    }
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const std::string_view item = text.substr(start, comma == std::string_view::npos ? text.npos : comma - start);
        if (item.empty()) {
            *error = "the frame list \"" + std::string(text) + "\" has an empty item";
            return false;
        }
        FrameSpan span{};
        const size_t dash = item.find('-');
        if (dash == std::string_view::npos) {
            if (!ParseIndex(item, item, &span.first, error)) return false;
            span.last = span.first;
        } else {
            if (!ParseIndex(item.substr(0, dash), item, &span.first, error)) return false;
            if (!ParseIndex(item.substr(dash + 1), item, &span.last, error)) return false;
            if (span.last < span.first) {
                *error = "the range \"" + std::string(item) + "\" runs backwards";
                return false;
            }
        }
        spans->push_back(span);
        if (comma == std::string_view::npos) return true;
        start = comma + 1;
    }
}

std::vector<FrameSpan> AllFrames(int32_t frameCount) {
    if (frameCount <= 0) return {};
    return {FrameSpan{0, frameCount - 1}};
}

bool CheckFrameRange(const std::vector<FrameSpan>& spans, int32_t frameCount, std::string* error) {
    for (const FrameSpan& span : spans) {
        if (span.last >= frameCount) {
            const int32_t bad = span.first >= frameCount ? span.first : frameCount;
            *error = "frame " + std::to_string(bad) + " is out of range: the animation has " +
                     std::to_string(frameCount) + (frameCount == 1 ? " frame" : " frames");
            if (frameCount > 0) *error += " (0-" + std::to_string(frameCount - 1) + ")";
            return false;
        }
    }
    return true;
}

uint64_t CountFrames(const std::vector<FrameSpan>& spans) {
    uint64_t n = 0;
    for (const FrameSpan& span : spans) n += static_cast<uint64_t>(int64_t{span.last} - span.first + 1);
    return n;
}

}  // namespace yafa::tool
