// One frame after unpacking. The unpacker allocates `bytes` with the C
// allocator; from its return on, DecodeFrame owns and frees it.
#pragma once

#include <cstdint>

#include "io/malloc_buffer.h"

namespace yafa {

struct UnpackedFrame {
    MallocBytes bytes;    // null only for an empty frame
    uint32_t length = 0;  // exact length of the frame
    // Bytes of the frame that `bytes` holds. A raw frame cut short by the end
    // of the file holds fewer than its length; the missing ones read as 0.
    uint32_t held = 0;
};

}  // namespace yafa
