#include "command_support.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "yafa_file.h"

namespace yafa::tool {
namespace {

// Why OpenAnim may have refused the file, judged from the file itself.
std::string DescribeOpenFailure(const std::string& file, const SessionOptions& options) {
    if (::access(file.c_str(), R_OK) != 0) return std::strerror(errno);
    std::string why;
    const auto layout = ReadYafaLayout(file, &why);
    if (!layout) return why;
    if (options.indexed && (layout->depth > 8 || (layout->flags & YAFA_HAM))) {
        return (layout->flags & YAFA_HAM) ? std::string("a HAM animation cannot be decoded to palette indices")
                                          : "an animation of depth " + std::to_string(layout->depth) +
                                                " cannot be decoded to palette indices";
    }
    return "the plugin refused the animation";
}

}  // namespace

int Complain(int code, const std::string& subject, const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "yafa: %s: %s\n", subject.c_str(), message.c_str());
    return code;
}

std::unique_ptr<AnimSession> OpenOrComplain(const std::string& file, const SessionOptions& options, int* exitCode) {
    AnimSession::Failure failure = AnimSession::Failure::None;
    std::string error;
    auto session = AnimSession::Open(file, options, &failure, &error);
    if (session) return session;
    *exitCode = kExitOpen;
    if (failure == AnimSession::Failure::Plugin) {
        std::fflush(stdout);
        std::fprintf(stderr, "yafa: %s\n", error.c_str());
    } else {
        // The failed session is gone, so reading the file again is safe.
        Complain(kExitOpen, file, "cannot open: " + DescribeOpenFailure(file, options));
    }
    return nullptr;
}

std::unique_ptr<AnimSession> OpenWithFrames(const std::string& file, const std::optional<std::string>& list,
                                            const SessionOptions& options, std::vector<FrameSpan>* spans,
                                            int* exitCode) {
    std::vector<FrameSpan> parsed;
    std::string error;
    // The syntax first, so that a typo is reported before anything is opened.
    if (list && !ParseFrameList(*list, &parsed, &error)) {
        *exitCode = Complain(kExitOpen, file, "--frames: " + error);
        return nullptr;
    }
    auto session = OpenOrComplain(file, options, exitCode);
    if (!session) return nullptr;
    if (!list) {
        *spans = AllFrames(session->frameCount());
    } else if (CheckFrameRange(parsed, session->frameCount(), &error)) {
        *spans = std::move(parsed);
    } else {
        *exitCode = Complain(kExitOpen, file, "--frames: " + error);
        return nullptr;
    }
    return session;
}

}  // namespace yafa::tool
