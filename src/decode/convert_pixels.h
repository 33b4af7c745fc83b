// The last step of a decode: pixels in the form the host asked for.
#pragma once

#include <cstdint>

#include "anim/anim_handle.h"

namespace yafa {

// Writes width × height pixels from `source` to `output`: 8-bit indices
// (bytesPerPixel 1), or 0x00RRGGBB words by palette lookup, HAM6, HAM8,
// RGB15 or RGB24. OpenAnim and LoadFrame only let through combinations
// that have a path.
void ConvertPixels(const AnimHandle& anim, const uint8_t* source, uint8_t* output, int32_t bytesPerPixel) noexcept;

}  // namespace yafa
