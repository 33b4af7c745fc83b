// The state of one open animation, from OpenAnim to CloseAnim.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/geometry.h"
#include "format/status.h"
#include "lumivue/host_abi.h"
#include "yafa/info_flags.h"

// Allocated zero-filled by OpenAnim with calloc; everything it points to
// comes from the C allocator and is released by CloseAnim. The fields up to
// frameDelays are the handle as hosts have always known it, in that order.
struct AnimHandle {
    HostFile file;
    int32_t width;
    int32_t height;
    int32_t depth;
    int32_t nextFrame;
    int32_t frameCount;
    int32_t paletteSize;
    int32_t defaultDelay;
    int32_t frameFormat;
    int32_t flags;
    uint32_t* frameOffsets;  // PROF: end of each frame, counted from bodyStart; or null
    int32_t bodyStart;
    uint32_t palette[256];   // 0x00RRGGBB
    uint8_t* backBuffer[2];  // delta animations only; null while waiting to be cleared (see ResetDeltaState)
    int32_t deltaUnit;
    int32_t deltaUnitsPerRow;
    int32_t currentBuffer;
    int32_t firstDeltaFrame;
    int32_t planeRowBytes;
    int32_t frameSize;       // as derived when it fits; frameStride holds it whole
    int32_t paletteTailSize;
    uint16_t* frameDelays;   // TTBL, or null

    // Derived at open, so that no decode has to multiply INFO values again.
    uint32_t planeBytes;      // height × planeRowBytes: one bitplane
    uint32_t backBufferSize;  // planeBytes × depth
    uint32_t pixelBytes;      // pixel data of a whole (non-delta) frame
    uint32_t maxFrameBytes;   // bound on any unpacked frame of this animation
    uint64_t frameStride;     // stored length of every frame without PROF
    int32_t frameOffsetsCount;  // entries in frameOffsets and frameDelays, as
    int32_t frameDelaysCount;   // read: a later INFO may lower frameCount
    bool backBufferDirty[2];    // written since it was last cleared

    // The reason of the last failure of LoadFrame on this handle.
    yafa::FailureRecord lastFailure;

    bool hasDelta() const noexcept { return (flags & YAFA_DELTA) != 0; }
    bool hasFramePalette() const noexcept { return (flags & YAFA_FRAMEPALETTE) != 0; }
    bool isHam() const noexcept { return (flags & YAFA_HAM) != 0; }
    uint32_t pixelCount() const noexcept { return uint32_t(width) * uint32_t(height); }
};

namespace yafa {

// Puts the handle back into the playback state it had right after opening:
// frame 0 next, back buffer 0 current, both back buffers zero. A buffer
// nothing has written stays as it is; a large one that was written is
// handed back to the allocator and comes back as fresh zero pages when the
// next delta frame needs it (EnsureBackBuffers), so that starting again
// costs no more than what was written.
void ResetDeltaState(AnimHandle& anim) noexcept;

// Allocates the back buffers ResetDeltaState gave back.
Status EnsureBackBuffers(AnimHandle& anim) noexcept;

}  // namespace yafa
