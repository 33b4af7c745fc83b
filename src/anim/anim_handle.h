// The state of one open animation, from OpenAnim to CloseAnim.
#pragma once

#include <cstdint>

#include "lumivue/host_abi.h"
#include "yafa/info_flags.h"

constexpr bool IsChunkyFormat(int32_t frameFormat) noexcept { return frameFormat >= YAFA_FIRST_CHUNKY_FORMAT; }

// Allocated zero-filled by OpenAnim with calloc; everything it points to
// comes from the C allocator and is released by CloseAnim.
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
    uint8_t* backBuffer[2];  // delta animations only
    int32_t deltaUnit;
    int32_t deltaUnitsPerRow;
    int32_t currentBuffer;
    int32_t firstDeltaFrame;
    int32_t planeRowBytes;
    int32_t frameSize;
    int32_t paletteTailSize;
    uint16_t* frameDelays;   // TTBL, or null

    // Derived at open, so that no decode has to multiply INFO values again.
    uint32_t planeBytes;      // height × planeRowBytes: one bitplane
    uint32_t backBufferSize;  // planeBytes × depth
    uint32_t maxFrameBytes;   // bound on any unpacked frame of this animation
    int32_t frameOffsetsCount;  // entries in frameOffsets and frameDelays, as
    int32_t frameDelaysCount;   // read: a later INFO may change frameCount

    bool hasDelta() const noexcept { return (flags & YAFA_DELTA) != 0; }
    bool hasFramePalette() const noexcept { return (flags & YAFA_FRAMEPALETTE) != 0; }
    bool isHam() const noexcept { return (flags & YAFA_HAM) != 0; }
    uint32_t pixelCount() const noexcept { return uint32_t(width) * uint32_t(height); }
};

namespace yafa {

// Puts the handle back into the playback state it had right after opening.
void ResetDeltaState(AnimHandle* anim) noexcept;

}  // namespace yafa
