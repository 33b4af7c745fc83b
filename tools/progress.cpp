#include "progress.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

namespace yafa::tool {

namespace {
constexpr uint64_t kMinFrames = 16;  // shorter jobs finish before a count helps
}

Progress::Progress(std::string label, uint64_t total)
    : label_(std::move(label)), total_(total), enabled_(total >= kMinFrames && ::isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() {
    if (drawn_) std::fputc('\n', stderr);
}

void Progress::Step(uint64_t done) {
    if (!enabled_) return;
    const int percent = static_cast<int>(done * 100 / total_);
    if (percent == lastPercent_ && done != total_) return;
    lastPercent_ = percent;
    std::fprintf(stderr, "\r%s: frame %llu of %llu (%d%%)", label_.c_str(), static_cast<unsigned long long>(done),
                 static_cast<unsigned long long>(total_), percent);
    std::fflush(stderr);
    drawn_ = true;
}

}  // namespace yafa::tool
