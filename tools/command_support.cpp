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

bool ParseFramesOption(const std::string& file, const std::optional<std::string>& list, std::vector<FrameSpan>* spans) {
    spans->clear();
    if (!list) return true;
    std::string error;
    if (ParseFrameList(*list, spans, &error)) return true;
    Complain(kExitOpen, file, "--frames: " + error);
    return false;
}

bool SelectFrames(const std::string& file, const std::optional<std::string>& list, std::vector<FrameSpan> parsed,
                  const AnimSession& session, std::vector<FrameSpan>* spans) {
    if (!list) {
        *spans = AllFrames(session.frameCount());
        return true;
    }
    std::string error;
    if (!CheckFrameRange(parsed, session.frameCount(), &error)) {
        Complain(kExitOpen, file, "--frames: " + error);
        return false;
    }
    *spans = std::move(parsed);
    return true;
}

}  // namespace yafa::tool
