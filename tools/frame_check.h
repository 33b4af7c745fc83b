// Why an animation fails, in the tool's words: every frame decoded by the
// decoder core linked into the tool (plugin/core_api.h), in process and
// without pixels, for `yafa check` and `yafa info`; and the reasons that the
// other subcommands give when the plugin module refuses a file or a frame.
// The reasons are the core's (format/status.h); the tool adds only what it
// reads cheaply from the file's layout, such as how far into a frame the
// file ends.
#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "format/status.h"
#include "stand_in_host.h"

namespace yafa::tool {

class Input;
struct YafaLayout;

// Makes `host` the host of the core linked into the tool while it lives.
class CoreHost {
public:
    explicit CoreHost(host::StandInHost& host);
    ~CoreHost();
    CoreHost(const CoreHost&) = delete;
    CoreHost& operator=(const CoreHost&) = delete;
};

// Where a stored frame lies and how it is stored, as `yafa info` shows it.
struct FramePlace {
    uint64_t offset = 0;  // first byte in the file
    int64_t length = -1;  // stored bytes; -1 when the file does not say
    std::string storage;  // "raw", "S404", "XPK-FAST", ..., "missing"; empty when unknown
};

// One frame as the core decoded it.
struct FrameResult {
    FramePlace place;
    Status status = Status::Ok;  // of the frame's own bytes
    uint32_t unpackedBytes = 0;
    // In a delta animation every frame after a failing one fails too: the
    // plugin replays the frames before it and stops at the failing one.
    int32_t throughFrame = -1;  // that first failing frame, or -1
    std::string reason;         // why `status`, with what the tool adds

    bool fails() const { return status != Status::Ok || throughFrame >= 0; }
};

struct AnimationCheck {
    Status openStatus = Status::Ok;
    std::string openReason;  // why the file cannot be opened
    std::string refusal;     // set when the frames have more pixels than allowed
    int32_t width = 0, height = 0;
    bool delta = false;
    std::vector<FrameResult> frames;
    int32_t failing = 0;  // frames the plugin cannot decode
    int32_t broken = 0;   // of those, frames whose own bytes fail
    int32_t firstFailure = -1;

    bool opened() const { return openStatus == Status::Ok && refusal.empty(); }
    // As `yafa raw` ends on the file: 0, 1 (cannot be opened) or 2 (a frame fails).
    int exitCode() const;
};

// Opens the input with the core, through the host a CoreHost set, as the
// plugin opens it for a host that asks for 32-bit pixels; refuses frames of
// more than maxPixels pixels (0: no limit); then decodes every frame in
// order. A failing frame of a delta animation does not end the check: each
// frame after it is decoded once, on its own bytes, from the state that the
// failure left, so that a later frame with a problem of its own is named
// too. `layout` (may be null) names each frame's storage.
AnimationCheck CheckAnimation(const Input& input, const YafaLayout* layout, uint64_t maxPixels);

// The problems of an opened animation, one line each, as `yafa check` prints
// them: "NAME: frame 3 (S404, bytes 120-519): REASON". Neighbouring frames
// that fail for the same reason share a line, and the frames that fail only
// through an earlier one share one.
std::vector<std::string> ProblemLines(const std::string& name, const AnimationCheck& check);
// "2 of 24 frames fail".
std::string FailingCount(const AnimationCheck& check);
// "NAME: ok, 24 frames", "NAME: 2 of 24 frames fail", ...
std::string SummaryLine(const std::string& name, const AnimationCheck& check);
// Per frame: index, storage, offset, stored and unpacked bytes, and "ok" or
// the reason.
nlohmann::ordered_json FrameChecksJson(const AnimationCheck& check);

// Why the core refuses to open the input for a host of that version, asking
// for palette indices or not.
std::string OpenFailureReason(const Input& input, int32_t hostVersion, int32_t hostRevision, bool indexed);

// Why the plugin module failed frame `requested`, from the failure its
// handle recorded, which may be an earlier frame that playback went through.
std::string FrameFailureReason(const Input& input, int32_t requested, FailureRecord failure);

}  // namespace yafa::tool
