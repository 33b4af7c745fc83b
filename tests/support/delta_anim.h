// Generated delta animations with the pixels each frame must come out as.
//
// The expected images are made first; each delta frame is then encoded
// against the back-buffer state it will be applied to (per key-frame mode:
// nothing, frame i-2, or frame 0 for frame 1). Pixels that no delta column
// covers keep the base frame's values in the expected image.
#pragma once

#include <cstdint>
#include <vector>

#include "support/yafa_builder.h"

namespace yafa::test {

struct DeltaAnimRecipe {
    int width = 16, height = 4;
    int depth = 2;            // declared INFO depth
    uint16_t format = 1;      // 0..2 planar, 3 or 4 chunky
    uint16_t flags = kDelta;  // unit and key-frame mode bits; kDelta is added
    int frames = 5;
    uint32_t seed = 1;
};

struct DeltaAnim {
    Bytes file;
    std::vector<Bytes> frames;                   // stored frames
    std::vector<Bytes> expected;                 // per frame: the indices
    std::vector<std::vector<uint32_t>> palettes;  // per frame: the palette after decoding it
};

DeltaAnim MakeDeltaAnim(const DeltaAnimRecipe& recipe);

// Which frame's state a frame builds on: -1 for a cleared buffer, -2 for a
// key frame (stored whole).
int DeltaBase(uint16_t flags, int frame);

}  // namespace yafa::test
