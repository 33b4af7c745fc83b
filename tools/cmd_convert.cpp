// yafa convert: an animated, looping GIF. Animations of depth 8 or less
// without HAM are decoded to palette indices, so each frame keeps its exact
// palette; other frames keep theirs when they have at most 256 colours and
// are quantised otherwise.
#include "colour_reduction.h"
#include "command_support.h"
#include "commands.h"
#include "gif_writer.h"
#include "plugin_path.h"
#include "progress.h"
#include "yafa_file.h"

namespace yafa::tool {
namespace {

// Indices straight from the plugin when it will give them, else 32-bit.
std::unique_ptr<AnimSession> OpenForConvert(const std::string& file, SessionOptions options, int* exitCode) {
    std::string ignored;
    const auto layout = ReadYafaLayout(file, &ignored);
    if (layout && layout->depth <= 8 && !(layout->flags & YAFA_HAM) && options.hostVersion > 8) {
        options.indexed = true;
        AnimSession::Failure failure = AnimSession::Failure::None;
        std::string error;
        if (auto session = AnimSession::Open(file, options, &failure, &error)) return session;
        if (failure == AnimSession::Failure::Plugin) {
            *exitCode = Complain(kExitOpen, "plugin", error);
            return nullptr;
        }
    }
    options.indexed = false;
    return OpenOrComplain(file, options, exitCode);
}

}  // namespace

int RunConvert(const HostOptions& host, const ConvertOptions& options) {
    const SessionOptions sessionOptions{ResolvePluginPath(host.plugin), host.version, host.revision, false};
    int exitCode = kExitOk;
    auto session = OpenForConvert(options.file, sessionOptions, &exitCode);
    if (!session) return exitCode;
    if (session->frameCount() <= 0) return Complain(kExitOpen, options.file, "the animation has no frames");

    GifAnimationWriter gif;
    std::string error;
    const auto width = static_cast<uint32_t>(session->width());
    const auto height = static_cast<uint32_t>(session->height());
    if (!gif.Open(options.out, width, height, &error)) return Complain(kExitOpen, options.out, error);

    Progress progress("convert", static_cast<uint64_t>(session->frameCount()));
    int result = kExitOk;
    for (int32_t i = 0; i < session->frameCount(); ++i) {
        const LoadedFrame frame = session->Load(i);
        if (!frame) {
            result = Complain(kExitFrame, options.file, "frame " + std::to_string(i) + " cannot be decoded");
            break;
        }
        PalettedImage image;
        if (session->indexed()) {
            const int32_t depth = frame.depth() >= 0 ? frame.depth() : session->depth();
            image = FromIndexed(frame.bytes(), session->pixelCount(), frame.palette(), depth);
        } else if (!FromTrueColour(frame.words(), width, height, &image, &error)) {
            result = Complain(kExitOpen, options.file, "frame " + std::to_string(i) + ": " + error);
            break;
        }
        if (!gif.AddFrame(image, session->DelayMs(i), &error)) {
            result = Complain(kExitOpen, options.out, error);
            break;
        }
        progress.Step(static_cast<uint64_t>(i) + 1);
    }
    // The frames before a failure still make a valid GIF.
    if (!gif.Close(&error) && result == kExitOk) result = Complain(kExitOpen, options.out, error);
    return result;
}

}  // namespace yafa::tool
