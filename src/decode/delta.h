// Byte-run delta frames, applied to a back buffer in the planar layout.
#pragma once

#include <cstdint>
#include <span>

#include "anim/anim_handle.h"

namespace yafa {

// Applies the delta frame `frame` (its 64-byte header, op lists and data
// elements) to `target`, one plane after another. False when an offset, op
// list, run or data element would leave the frame or a plane; the planes
// before it have then been changed already.
bool ApplyDelta(const AnimHandle& anim, std::span<const uint8_t> frame, uint8_t* target) noexcept;

}  // namespace yafa
