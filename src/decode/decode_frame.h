// Decoding one frame of an open animation.
#pragma once

#include <cstdint>

#include "anim/anim_handle.h"
#include "format/status.h"
#include "io/malloc_buffer.h"

namespace yafa {

// How a frame is stored, from its first 4 bytes.
enum class StorageKind : uint8_t {
    Unknown,  // its tag could not be read
    Raw,
    S404,
    Xpk,
};

// What decoding a frame learnt about it, also when it failed.
struct FrameReport {
    int32_t frame = -1;  // the frame described
    Status status = Status::Ok;
    StorageKind storage = StorageKind::Unknown;
    uint8_t xpkMethod[4] = {};       // XPK: the method tag as stored
    uint64_t fileOffset = 0;         // where the stored frame starts in the file
    uint64_t storedBytes = 0;        // its stored length: the PROF difference or the fixed frame size
    bool storedLengthKnown = false;  // false when its PROF entry ends it before its start
    uint32_t unpackedBytes = 0;      // 0 until it has been unpacked
};

// The pixels asked for: width × height of bytesPerPixel (1 or 4) bytes each,
// allocated with malloc once the frame has decoded up to them.
struct FrameOutput {
    int32_t bytesPerPixel = 0;
    MallocBytes pixels;
};

// Decodes frame `frameIndex`: brings the delta state (back buffers,
// currentBuffer, palette) up to that frame and, when `output` is given,
// makes its pixels. Does not change nextFrame. `report` tells what was found
// of the frame (its status is left to the caller).
Status DecodeFrame(AnimHandle& anim, int32_t frameIndex, FrameOutput* output, FrameReport& report) noexcept;

}  // namespace yafa
