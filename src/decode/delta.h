// Byte-run delta frames, applied to a back buffer in the planar layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "anim/anim_handle.h"
#include "format/status.h"

namespace yafa {

// An unpacked frame of `length` bytes whose first `held` bytes are at
// `bytes`; the others read as 0 (a raw frame cut short by the end of the file).
struct FrameBytes {
    const uint8_t* bytes;
    size_t held;
    size_t length;

    uint8_t At(size_t at) const noexcept { return at < held ? bytes[at] : 0; }
};

// Applies the delta frame (its 64-byte header, op lists and data elements)
// to `target`, one plane after another. Fails when an offset, op list, run
// or data element would leave the frame or a plane; the planes before it
// have then been changed already.
Status ApplyDelta(const AnimHandle& anim, const FrameBytes& frame, uint8_t* target) noexcept;

inline Status ApplyDelta(const AnimHandle& anim, std::span<const uint8_t> frame, uint8_t* target) noexcept {
    return ApplyDelta(anim, FrameBytes{frame.data(), frame.size(), frame.size()}, target);
}

}  // namespace yafa
