// The decoder core's C++ face, for code that links it statically (the yafa
// tool, tests, fuzzers): the same work as the nine exported entry points,
// with the reason of every failure. Nothing here is exported from yafa.lvp.
//
// The core reaches files only through the host's file services: set the
// HostBase first with SetHost (io/host_services.h), as InitPlugin does for
// the module, for instance to a StandInHost's base().
//
//   AnimOpenInfo info{};
//   AnimHandle* anim = nullptr;
//   if (yafa::Status s = yafa::OpenAnimation(path, info, &anim); s != yafa::Status::Ok)
//       report("cannot be opened: ", yafa::StatusPhrase(s));
//   for (int32_t i = 0; i < info.frameCount; ++i) {
//       yafa::FrameReport r;
//       if (yafa::PlayFrame(*anim, i, nullptr, &r) != yafa::Status::Ok)
//           report("frame ", r.frame, " (", r.storage, ", bytes ", r.fileOffset, "-", ...,
//                  "): ", yafa::StatusPhrase(r.status));
//   }
//   yafa::CloseAnimation(anim);
//
// Frames asked for in order decode each frame once. PlayFrame without an
// output does everything LoadFrame does but the pixel conversion, whose
// result nobody would see; with a FrameOutput it also makes the pixels.
// A failed frame of a delta animation restarts playback from frame 0, so
// the next request replays up to it again (and fails there again, with the
// same report, when the frame before it is the broken one).
//
// Code in the same process that holds a handle from the module's OpenAnim
// finds the reason of its last failed LoadFrame in anim->lastFailure.
#pragma once

#include <cstdint>

#include "anim/anim_handle.h"
#include "decode/decode_frame.h"
#include "format/status.h"
#include "lumivue/host_abi.h"
#include "play/playback.h"

namespace yafa {

// OpenAnim: opens `name` through the host's file services, reads the chunks
// before BODY and fills `info` as OpenAnim does (its flags and tag words are
// read as OpenAnim reads them). On success *anim is the new handle; on
// failure nothing stays allocated or open and the reason is returned.
Status OpenAnimation(const char* name, AnimOpenInfo& info, AnimHandle** anim) noexcept;

// CloseAnim: closes the file and frees the handle with everything it owns.
void CloseAnimation(AnimHandle* anim) noexcept;

// Also declared here, from play/playback.h:
//   Status PlayFrame(AnimHandle&, int32_t frame, FrameOutput*, FrameReport*)
//   int32_t FrameDelayMs(const AnimHandle&, int32_t frame)
// and from format/status.h: const char* StatusPhrase(Status).

}  // namespace yafa
