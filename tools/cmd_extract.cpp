// yafa extract: one PNG per requested frame, named frame_NNNNN.png by frame
// index so that the names sort in frame order. A frame requested twice is
// written twice to the same file. A folder that holds frame files already
// is refused without --force, since old and new frames would mix; with it,
// the old ones that this run does not write over are removed at the end.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <system_error>

#include "command_support.h"
#include "commands.h"
#include "frame_check.h"
#include "png_writer.h"
#include "progress.h"

namespace yafa::tool {
namespace {

namespace fs = std::filesystem;

std::string FramePngName(int32_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%05d.png", index);
    return name;
}

// frame_ followed by five or more digits and .png: the names extract writes.
bool IsFramePngName(const std::string& name) {
    if (name.size() < 15 || !name.starts_with("frame_") || !name.ends_with(".png")) return false;
    for (size_t i = 6; i + 4 < name.size(); ++i)
        if (name[i] < '0' || name[i] > '9') return false;
    return true;
}

std::vector<std::string> FrameFilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (IsFramePngName(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

int RunExtract(const HostOptions& host, const ExtractOptions& options) {
    int exitCode = kExitOk;
    const auto input = OpenInput(options.file, &exitCode);
    if (!input) return exitCode;

    const fs::path dir(options.dir);
    std::error_code ec;
    if (fs::exists(dir, ec) && !fs::is_directory(dir, ec)) return Complain(kExitOpen, options.dir, "is not a folder");
    const std::vector<std::string> before = FrameFilesIn(dir);
    if (!before.empty() && !options.force)
        return Complain(kExitOpen, options.dir,
                        "holds " + std::to_string(before.size()) + " frame file(s) already (" + before.front() +
                            (before.size() > 1 ? ", ..." : "") +
                            "); give --force to replace them, or choose another folder");

    std::vector<FrameSpan> spans;
    auto session = OpenWithFrames(*input, options.frames, MakeSessionOptions(host, options.indexed), &spans, &exitCode);
    if (!session) return exitCode;
    fs::create_directories(dir, ec);
    if (ec) return Complain(kExitOpen, options.dir, "cannot create the folder: " + ec.message());

    const auto width = static_cast<uint32_t>(session->width());
    const auto height = static_cast<uint32_t>(session->height());
    OutputRules rules;
    rules.force = true;  // the folder was checked as a whole
    rules.inputs = {input->path()};
    std::set<std::string> written;
    Progress progress("extract", CountFrames(spans));
    uint64_t done = 0;
    int result = kExitOk;
    ForEachFrame(spans, [&](int32_t index) {
        const LoadedFrame frame = session->Load(index);
        if (!frame) {
            result = ComplainFrame(input->name(), index, FrameFailureReason(*input, index, session->lastFailure()));
            return false;
        }
        const std::string name = FramePngName(index);
        const std::string path = (dir / name).string();
        std::string error;
        auto out = OutputFile::Create(path, rules, &error);
        bool ok = out != nullptr;
        if (ok && session->indexed()) {
            const int32_t depth = frame.depth() >= 0 ? frame.depth() : session->depth();
            const uint32_t colours = depth >= 1 && depth <= 8 ? 1u << depth : 256u;
            ok = WriteIndexedPng(out->stream(), width, height, frame.bytes(), frame.palette(), colours, &error);
        } else if (ok) {
            ok = WriteRgbPng(out->stream(), width, height, frame.words(), &error);
        }
        if (!ok || !out->Commit(&error)) {
            result = Complain(kExitOpen, path, error);
            return false;
        }
        written.insert(name);
        progress.Step(++done);
        return true;
    });
    // Frames written before a failure stay; old frames go either way, so the
    // folder never mixes two animations.
    size_t removed = 0;
    for (const std::string& name : before)
        if (!written.count(name) && fs::remove(dir / name, ec)) ++removed;
    if (removed) Note(options.dir, "removed " + std::to_string(removed) + " frame file(s) of an earlier extract");
    return result;
}

}  // namespace yafa::tool
