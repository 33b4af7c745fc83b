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

// Syntax of --frames before anything is opened; complains on error.
bool ParseFramesOption(const std::string& file, const std::optional<std::string>& list, std::vector<FrameSpan>* spans);

// The spans to decode: the parsed list checked against the frame count, or
// every frame when no list was given. Complains on error.
bool SelectFrames(const std::string& file, const std::optional<std::string>& list, std::vector<FrameSpan> parsed,
                  const AnimSession& session, std::vector<FrameSpan>* spans);

}  // namespace yafa::tool
