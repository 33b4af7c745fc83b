// The chunks before BODY, read into an AnimHandle.
#pragma once

#include "anim/anim_handle.h"
#include "format/byte_source.h"
#include "format/status.h"

namespace yafa {

// Reads the file from its start to just behind BODY's header (where
// `source` is left: bodyStart) and derives every decoding parameter; with
// `indexed`, the host asks for 8-bit palette indices. Allocates the tables
// and back buffers; on failure FreeAnimTables releases what was allocated.
Status ReadAnimHeader(AnimHandle& anim, ByteSource& source, bool indexed) noexcept;

// Frees the PROF and TTBL tables and the back buffers.
void FreeAnimTables(AnimHandle& anim) noexcept;

}  // namespace yafa
