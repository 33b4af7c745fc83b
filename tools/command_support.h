// What the subcommands share: exit codes, error lines, opening an
// animation with a useful message, and frame lists checked against it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "anim_session.h"
#include "frame_list.h"

namespace yafa::tool {

enum ExitCode : int {
    kExitOk = 0,
    kExitOpen = 1,   // bad usage, plugin not loadable, animation not openable, output not writable
    kExitFrame = 2,  // a frame failed to decode (after the frames before it were written)
};

// Prints "yafa: SUBJECT: MESSAGE" on stderr and returns code.
int Complain(int code, const std::string& subject, const std::string& message);

// Opens the animation; on failure complains (naming the file and, as far as
// the tool can tell from the file itself, why) and sets *exitCode.
std::unique_ptr<AnimSession> OpenOrComplain(const std::string& file, const SessionOptions& options, int* exitCode);

// Checks the syntax of --frames, opens the animation, then checks the list
// against its frame count; no list gives every frame. On failure complains,
// sets *exitCode and returns null.
std::unique_ptr<AnimSession> OpenWithFrames(const std::string& file, const std::optional<std::string>& list,
                                            const SessionOptions& options, std::vector<FrameSpan>* spans,
                                            int* exitCode);

}  // namespace yafa::tool
