// One frame after unpacking. The unpacker allocates `bytes` with the C
// allocator; from its return on, DecodeFrame owns and frees it.
#pragma once

#include <cstdint>

#include "util/malloc_buffer.h"

namespace yafa {

struct UnpackedFrame {
    MallocBytes bytes;    // null only for an empty frame
    uint32_t length = 0;  // exact number of valid bytes
};

}  // namespace yafa
