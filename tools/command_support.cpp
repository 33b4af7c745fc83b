#include "command_support.h"

#include "commands.h"
#include "frame_check.h"
#include "yafa_file.h"

namespace yafa::tool {
namespace {

std::string PluginNotFound(const PluginChoice& choice) {
    std::string places;
    for (size_t i = 0; i < choice.tried.size(); ++i)
        places += (i == 0 ? "" : i + 1 == choice.tried.size() ? " nor " : ", ") + choice.tried[i];
    return "no plugin module at " + places + "; give --plugin PATH or set YAFA_PLUGIN";
}

}  // namespace

std::string FrameSizeRefusal(uint64_t width, uint64_t height, uint64_t maxPixels) {
    const uint64_t pixels = width * height;
    if (maxPixels == 0 || pixels <= maxPixels) return {};
    return "frames of " + std::to_string(width) + " x " + std::to_string(height) + " = " + Grouped(pixels) +
           " pixels exceed the limit of " + Grouped(maxPixels) + "; give --max-pixels 0 to lift it";
}

bool CheckFrameSize(const std::string& subject, uint64_t width, uint64_t height, uint64_t maxPixels) {
    const std::string refusal = FrameSizeRefusal(width, height, maxPixels);
    if (!refusal.empty()) Complain(kExitOpen, subject, refusal);
    return refusal.empty();
}

std::unique_ptr<AnimSession> OpenOrComplain(const Input& input, const SessionOptions& options, int* exitCode) {
    *exitCode = kExitOpen;
    // The size comes from the file before the plugin allocates anything.
    std::string ignored;
    if (const auto layout = ReadYafaLayout(input.path(), &ignored))
        if (!CheckFrameSize(input.name(), layout->width, layout->height, options.maxPixels)) return nullptr;
    if (!options.plugin.tried.empty()) {
        Complain(kExitOpen, "", PluginNotFound(options.plugin));
        return nullptr;
    }
    AnimSession::Failure failure = AnimSession::Failure::None;
    std::string error;
    auto session = AnimSession::Open(input.path(), options, &failure, &error);
    if (failure == AnimSession::Failure::Plugin) {
        Complain(kExitOpen, "", error);
        return nullptr;
    }
    if (!session) {
        // The failed session and its host are gone, so the core can have one.
        Complain(kExitOpen, input.name(),
                 "cannot be opened: " +
                     OpenFailureReason(input, options.hostVersion, options.hostRevision, options.indexed));
        return nullptr;
    }
    // Files whose layout the tool cannot read are checked once open.
    if (!CheckFrameSize(input.name(), uint32_t(session->width()), uint32_t(session->height()), options.maxPixels))
        return nullptr;
    *exitCode = kExitOk;
    return session;
}

std::unique_ptr<AnimSession> OpenWithFrames(const Input& input, const std::optional<std::string>& list,
                                            const SessionOptions& options, std::vector<FrameSpan>* spans,
                                            int* exitCode) {
    std::vector<FrameSpan> parsed;
    std::string error;
    // The syntax first, so that a typo is reported before anything is opened.
    if (list && !ParseFrameList(*list, &parsed, &error)) {
        *exitCode = Complain(kExitOpen, input.name(), "--frames: " + error);
        return nullptr;
    }
    auto session = OpenOrComplain(input, options, exitCode);
    if (!session) return nullptr;
    if (!list) {
        *spans = AllFrames(session->frameCount());
    } else if (CheckFrameRange(parsed, session->frameCount(), &error)) {
        *spans = std::move(parsed);
    } else {
        *exitCode = Complain(kExitOpen, input.name(), "--frames: " + error);
        return nullptr;
    }
    return session;
}

SessionOptions MakeSessionOptions(const HostOptions& host, bool indexed) {
    return SessionOptions{ChoosePlugin(host.plugin), host.version, host.revision, indexed, host.maxPixels};
}

std::optional<Input> OpenInput(const std::string& argument, int* exitCode) {
    std::string error;
    auto input = Input::Open(argument, &error);
    if (!input) *exitCode = Complain(kExitOpen, Input::kStandardInput, error);
    return input;
}

}  // namespace yafa::tool
