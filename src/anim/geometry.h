// Sizes derived from INFO, worked out in 64 bits so that no product of
// 16-bit fields can wrap around to a smaller allocation.
#pragma once

#include <cstdint>

#include "anim/anim_handle.h"

namespace yafa {

// Bytes per pixel of a stored chunky frame of this depth.
constexpr uint32_t ChunkyBytesPerPixel(int32_t depth) noexcept {
    return depth == 15 ? 2u : depth == 24 ? 3u : 1u;
}

// Every frame, back buffer and output buffer must stay below this; larger
// animations are refused when they are opened.
constexpr uint64_t kMaxBufferBytes = 0xFFFFFFFFu;

// Unpacked frames carry at most this much beyond four times their pixel
// data (delta op lists, padding, palette tail). No valid frame comes near
// it, and it keeps a few hostile header bytes from asking for gigabytes.
constexpr uint64_t kFrameBoundMargin = uint64_t{1} << 20;

}  // namespace yafa
