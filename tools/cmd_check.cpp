// yafa check: decodes every frame of each file with the decoder core linked
// into the tool, as the plugin decodes them for `yafa raw`, and says what
// fails and why: one line per problem and one per file on standard output,
// or with --json one object per file and line. A file that cannot be opened
// is an error, said on standard error as the other subcommands say it.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "command_support.h"
#include "commands.h"
#include "frame_check.h"
#include "yafa_file.h"

namespace yafa::tool {
namespace {

// A file that cannot be opened is worse off than one whose frames fail.
int Worse(int a, int b) {
    auto rank = [](int code) { return code == kExitOpen ? 2 : code == kExitFrame ? 1 : 0; };
    return rank(b) > rank(a) ? b : a;
}

// A file that is refused before its frames are decoded: said on standard
// error, and with --json also as its object. `phrase` is the decoder's, when
// the decoder refused it.
int Refuse(const std::string& name, const CheckOptions& options, const char* reason, const char* phrase,
           const std::string& message, const std::string& lead) {
    Complain(kExitOpen, name, lead + message);
    if (options.json) {
        nlohmann::ordered_json j;
        j["file"] = name;
        j["exit_status"] = kExitOpen;
        j["opened"] = false;
        j["result"] = reason;
        if (phrase) j["phrase"] = phrase;
        j["message"] = message;
        std::printf("%s\n", j.dump().c_str());
    }
    return kExitOpen;
}

int CheckFile(const std::string& argument, const CheckOptions& options, uint64_t maxPixels) {
    std::string error;
    const auto input = Input::Open(argument, &error);
    if (!input) return Refuse(Input::kStandardInput, options, "cannot_read", nullptr, error, "");
    const std::string& name = input->name();

    // The size comes from the file before the core allocates anything; files
    // whose layout the tool cannot read are checked once open.
    const auto layout = ReadYafaLayout(input->path(), &error);
    if (layout) {
        const std::string refusal = FrameSizeRefusal(layout->width, layout->height, maxPixels);
        if (!refusal.empty()) return Refuse(name, options, "too_many_pixels", nullptr, refusal, "");
    }
    const AnimationCheck check = CheckAnimation(*input, layout ? &*layout : nullptr, maxPixels);
    if (check.openStatus != Status::Ok)
        return Refuse(name, options, StatusName(check.openStatus), StatusPhrase(check.openStatus), check.openReason,
                      "cannot be opened: ");
    if (!check.refusal.empty()) return Refuse(name, options, "too_many_pixels", nullptr, check.refusal, "");

    if (options.json) {
        nlohmann::ordered_json j;
        j["file"] = name;
        j["exit_status"] = check.exitCode();
        j["opened"] = true;
        j["width"] = check.width;
        j["height"] = check.height;
        j["frames"] = check.frames.size();
        j["delta"] = check.delta;
        j["failing_frames"] = check.failing;
        j["broken_frames"] = check.broken;
        j["frame_checks"] = FrameChecksJson(check);
        std::printf("%s\n", j.dump().c_str());
    } else {
        for (const std::string& line : ProblemLines(name, check)) std::printf("%s\n", line.c_str());
        std::printf("%s\n", SummaryLine(name, check).c_str());
    }
    return check.exitCode();
}

}  // namespace

int RunCheck(const HostOptions& host, const CheckOptions& options) {
    host::StandInHost standIn;  // a current host, as `yafa raw` tells the plugin by default
    CoreHost core(standIn);
    int result = kExitOk;
    for (const std::string& file : options.files) {
        result = Worse(result, CheckFile(file, options, host.maxPixels));
        std::fflush(stdout);  // each file's report before the next file's errors
    }
    if (std::ferror(stdout)) return Complain(kExitOpen, OutputFile::kStandardOutput, "cannot write");
    return result;
}

}  // namespace yafa::tool
