// What the decoding subcommands share: opening an animation with a useful
// message, the frame-size guard, and frame lists checked against it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "anim_session.h"
#include "file_io.h"
#include "frame_list.h"
#include "messages.h"

namespace yafa::tool {

// Why frames of this size are refused, or empty when they are at most
// maxPixels (0: no limit).
std::string FrameSizeRefusal(uint64_t width, uint64_t height, uint64_t maxPixels);
// False (with the reason said) when the frames are larger than maxPixels.
bool CheckFrameSize(const std::string& subject, uint64_t width, uint64_t height, uint64_t maxPixels);

// Opens the animation; on failure complains (naming the file and the reason
// the decoder core gives) and sets *exitCode. Frames
// larger than options.maxPixels are refused before the plugin sees the file.
std::unique_ptr<AnimSession> OpenOrComplain(const Input& input, const SessionOptions& options, int* exitCode);

// Checks the syntax of --frames, opens the animation, then checks the list
// against its frame count; no list gives every frame. On failure complains,
// sets *exitCode and returns null.
std::unique_ptr<AnimSession> OpenWithFrames(const Input& input, const std::optional<std::string>& list,
                                            const SessionOptions& options, std::vector<FrameSpan>* spans,
                                            int* exitCode);

// The session options the host options ask for.
SessionOptions MakeSessionOptions(const struct HostOptions& host, bool indexed);

// The input named by a command's argument ("-": standard input); complains
// and returns nullopt when it cannot be read.
std::optional<Input> OpenInput(const std::string& argument, int* exitCode);

}  // namespace yafa::tool
