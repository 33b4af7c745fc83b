// yafa extract: one PNG per requested frame, named frame_NNNNN.png by frame
// index so that the names sort in frame order. A frame requested twice is
// written twice to the same file.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "command_support.h"
#include "commands.h"
#include "plugin_path.h"
#include "png_writer.h"
#include "progress.h"

namespace yafa::tool {
namespace {

std::string FramePngName(int32_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%05d.png", index);
    return name;
}

}  // namespace

int RunExtract(const HostOptions& host, const ExtractOptions& options) {
    const SessionOptions sessionOptions{ResolvePluginPath(host.plugin), host.version, host.revision, options.indexed};
    int exitCode = kExitOk;
    std::vector<FrameSpan> spans;
    auto session = OpenWithFrames(options.file, options.frames, sessionOptions, &spans, &exitCode);
    if (!session) return exitCode;

    std::error_code ec;
    std::filesystem::create_directories(options.dir, ec);
    if (ec) return Complain(kExitOpen, options.dir, "cannot create the directory: " + ec.message());

    const auto width = static_cast<uint32_t>(session->width());
    const auto height = static_cast<uint32_t>(session->height());
    Progress progress("extract", CountFrames(spans));
    uint64_t done = 0;
    int result = kExitOk;
    ForEachFrame(spans, [&](int32_t index) {
        const LoadedFrame frame = session->Load(index);
        if (!frame) {
            result = Complain(kExitFrame, options.file, "frame " + std::to_string(index) + " cannot be decoded");
            return false;
        }
        const std::string path = (std::filesystem::path(options.dir) / FramePngName(index)).string();
        std::string error;
        bool ok;
        if (session->indexed()) {
            const int32_t depth = frame.depth() >= 0 ? frame.depth() : session->depth();
            const uint32_t colours = depth >= 1 && depth <= 8 ? 1u << depth : 256u;
            ok = WriteIndexedPng(path, width, height, frame.bytes(), frame.palette(), colours, &error);
        } else {
            ok = WriteRgbPng(path, width, height, frame.words(), &error);
        }
        if (!ok) {
            result = Complain(kExitOpen, path, error);
            return false;
        }
        progress.Step(++done);
        return true;
    });
    return result;
}

}  // namespace yafa::tool
