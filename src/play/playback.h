// Serving frames in any order over a delta sequence, and frame timing.
#pragma once

#include <cstdint>

#include "anim/anim_handle.h"
#include "decode/decode_frame.h"
#include "format/status.h"

namespace yafa {

// LoadFrame's work without the host's record: brings the handle to `frame`,
// replaying delta frames from nextFrame (or, going back, from frame 0) without
// output, then decodes `frame` itself, into `output` when given (its
// bytesPerPixel set by the caller). A replayed frame that fails fails the
// request. On failure the reason and the frame that failed go into
// anim.lastFailure and `report` describes that frame; a delta animation then
// starts again from frame 0, so no later frame is built on a half-applied
// delta. `report` may be null.
Status PlayFrame(AnimHandle& anim, int32_t frame, FrameOutput* output, FrameReport* report) noexcept;

// GetFrameDelay: the frame's delay in milliseconds; 0 outside the animation.
int32_t FrameDelayMs(const AnimHandle& anim, int32_t frame) noexcept;

}  // namespace yafa
