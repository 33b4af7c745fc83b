// yafa info: what the plugin reports about an animation, with the frame
// delays, what the tool itself reads of the file's layout, and which frames
// fail: each frame is decoded once, without pixels, by the decoder core in
// process (as `yafa check` does), unless --no-check.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "command_support.h"
#include "commands.h"
#include "frame_check.h"
#include "yafa_file.h"

namespace yafa::tool {
namespace {

std::string Joined(const std::vector<std::string>& names) {
    std::string s;
    for (const auto& n : names) s += (s.empty() ? "" : " ") + n;
    return s.empty() ? "none" : s;
}

void PrintJson(const AnimSession& s, const HostOptions& host, const std::optional<YafaLayout>& layout,
               const std::vector<int32_t>& delays, const std::vector<FrameStorage>& storage,
               const AnimationCheck* check) {
    nlohmann::ordered_json j;
    j["width"] = s.width();
    j["height"] = s.height();
    // Hosts up to version 8 are not told the depth; INFO's then stands in.
    if (s.depthReported()) {
        j["depth"] = s.depth();
        j["depth_source"] = "plugin";
    } else if (layout) {
        j["depth"] = layout->depth;
        j["depth_source"] = "INFO";
    }
    j["frames"] = s.frameCount();
    j["delays_ms"] = delays;
    j["host_version"] = host.version;
    j["host_revision"] = host.revision;
    if (layout) {
        j["frame_format"] = layout->frameFormat;
        j["flags"] = layout->flags;
        j["flag_names"] = FlagNames(layout->flags);
        j["default_delay_ticks"] = layout->defaultDelay;
        j["has_prof"] = layout->hasProf;
        j["has_ttbl"] = layout->hasTtbl;
        j["drgb_colours"] = layout->drgbColours;
        j["body_start"] = layout->bodyStart;
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        nlohmann::ordered_json offsets = nlohmann::ordered_json::array();
        nlohmann::ordered_json lengths = nlohmann::ordered_json::array();
        for (const auto& f : storage) {
            list.push_back(f.method);
            offsets.push_back(f.offset);
            lengths.push_back(f.length);
        }
        j["storage"] = list;
        j["frame_offsets"] = offsets;
        j["frame_lengths"] = lengths;
    }
    if (check) {
        j["failing_frames"] = check->failing;
        j["frame_checks"] = FrameChecksJson(*check);
    }
    std::printf("%s\n", j.dump().c_str());
}

// The last column of a frame's row: "ok", or why it fails.
std::string Verdict(const AnimationCheck* check, size_t i) {
    if (!check || i >= check->frames.size()) return "";
    const FrameResult& f = check->frames[i];
    if (f.status != Status::Ok) return f.reason;
    if (f.throughFrame >= 0) return "played through failing frame " + std::to_string(f.throughFrame);
    return "ok";
}

void PrintTable(const std::string& file, const AnimSession& s, const std::optional<YafaLayout>& layout,
                const std::string& layoutError, const std::vector<int32_t>& delays,
                const std::vector<FrameStorage>& storage, const AnimationCheck* check) {
    std::printf("%s\n", file.c_str());
    std::printf("  size          %d x %d\n", s.width(), s.height());
    if (s.depthReported()) {
        std::printf("  depth         %d\n", s.depth());
    } else if (layout) {
        std::printf("  depth         %d (from INFO: hosts up to version 8 are not told)\n", layout->depth);
    }
    std::printf("  frames        %d\n", s.frameCount());
    if (!layout) {
        std::printf("  layout        unreadable: %s\n", layoutError.c_str());
    } else {
        std::printf("  frame format  %u (%s)\n", layout->frameFormat, FrameFormatName(layout->frameFormat).c_str());
        std::printf("  flags         0x%04x %s\n", layout->flags, Joined(FlagNames(layout->flags)).c_str());
        if (layout->drgbColours >= 0) {
            std::printf("  palette       DRGB, %d colours\n", layout->drgbColours);
        } else {
            std::printf("  palette       no DRGB\n");
        }
        if (layout->hasTtbl) {
            std::printf("  delays        TTBL\n");
        } else {
            std::printf("  delays        default, %u ticks of 1/50 s\n", layout->defaultDelay);
        }
        if (layout->hasProf) {
            std::printf("  body          at byte %llu, frames placed by PROF\n",
                        static_cast<unsigned long long>(layout->bodyStart));
        } else {
            std::printf("  body          at byte %llu, frames every %llu bytes\n",
                        static_cast<unsigned long long>(layout->bodyStart),
                        static_cast<unsigned long long>(layout->frameSize));
        }
    }
    if (delays.empty()) return;
    std::printf("\n  %6s  %9s  %-9s  %10s  %10s%s\n", "frame", "delay ms", "storage", "offset", "bytes",
                check ? "  check" : "");
    for (size_t i = 0; i < delays.size(); ++i) {
        const std::string verdict = Verdict(check, i);
        if (i < storage.size()) {
            const FrameStorage& f = storage[i];
            std::printf("  %6zu  %9d  %-9s  %10llu  %10s%s%s\n", i, delays[i], f.method.c_str(),
                        static_cast<unsigned long long>(f.offset),
                        f.length >= 0 ? std::to_string(f.length).c_str() : "?", verdict.empty() ? "" : "  ",
                        verdict.c_str());
        } else {
            std::printf("  %6zu  %9d  %-9s  %10s  %10s  %s\n", i, delays[i], "", "", "", verdict.c_str());
        }
    }
}

}  // namespace

int RunInfo(const HostOptions& host, const InfoOptions& options) {
    int exitCode = kExitOk;
    const auto input = OpenInput(options.file, &exitCode);
    if (!input) return exitCode;
    auto session = OpenOrComplain(*input, MakeSessionOptions(host, false), &exitCode);
    if (!session) return exitCode;
    std::vector<int32_t> delays;
    for (int32_t i = 0; i < session->frameCount(); ++i) delays.push_back(session->DelayMs(i));

    std::string layoutError;
    const auto layout = ReadYafaLayout(input->path(), &layoutError);
    const auto storage = layout ? ReadFrameStorage(input->path(), *layout) : std::vector<FrameStorage>{};
    std::optional<AnimationCheck> check;
    if (!options.noCheck) {
        // The core in the tool, through the session's host (there is one).
        CoreHost core(session->host());
        check = CheckAnimation(*input, layout ? &*layout : nullptr, 0);
    }
    const AnimationCheck* checked = check && check->opened() ? &*check : nullptr;
    if (options.json) {
        PrintJson(*session, host, layout, delays, storage, checked);
    } else {
        PrintTable(input->name(), *session, layout, layoutError, delays, storage, checked);
    }
    std::fflush(stdout);
    if (std::ferror(stdout)) return Complain(kExitOpen, OutputFile::kStandardOutput, "cannot write");
    if (check && !check->opened()) return Complain(kExitOpen, input->name(), "cannot be opened: " + check->openReason);
    if (!checked || checked->failing == 0) return kExitOk;
    // One line for all: the first failure, and where to see the others.
    const int32_t first = checked->firstFailure;
    return ComplainFrame(input->name(), first,
                         checked->frames[size_t(first)].reason + " (" + FailingCount(*checked) +
                             "; 'yafa check' names each problem)");
}

}  // namespace yafa::tool
