// Reader of the XPK container: a header naming one method, then raw, packed
// and end chunks, unpacked into one growing output buffer.
#pragma once

#include <cstdint>

#include "lumivue/host_abi.h"
#include "unpack/unpacked_frame.h"

namespace yafa {

// Reads the stream from `file`, positioned just behind the "XPKF" tag. On
// success fills `frame` (bytes may be null for a stream with no chunks) and
// returns 1; on failure returns 0, leaves `frame` untouched and frees
// everything. A stream whose unpacked total would exceed `maxUnpacked`
// fails before anything that large is allocated.
int UnpackXpk(HostFile file, UnpackedFrame& frame, uint32_t maxUnpacked) noexcept;

}  // namespace yafa
