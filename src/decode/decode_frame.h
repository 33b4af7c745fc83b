// Decoding one frame of an open animation.
#pragma once

#include <cstdint>

#include "anim/anim_handle.h"

namespace yafa {

// Decodes frame `frameIndex`: brings the delta state (back buffers,
// currentBuffer, palette) up to that frame and, when `output` is given,
// writes its pixels at `bytesPerPixel` (1 or 4) bytes each. Returns 1 on
// success and 0 on failure. Does not change nextFrame.
int DecodeFrame(AnimHandle* anim, int32_t frameIndex, uint8_t* output, int32_t bytesPerPixel) noexcept;

}  // namespace yafa
