// Reader of the XPK container: a header naming one method, then raw, packed
// and end chunks, unpacked into one growing output buffer.
#pragma once

#include <cstdint>

#include "format/byte_source.h"
#include "format/status.h"
#include "unpack/unpacked_frame.h"

namespace yafa {

// Reads the stream from `source`, positioned just behind the "XPKF" tag. On
// success fills `frame` (bytes may be null for a stream with no chunks); on
// failure leaves it untouched and frees everything. `methodTag` receives
// the stream's method tag as stored (zeros when it cannot be read).
//
// Memory follows the bytes present: every chunk body is read, within what
// the source holds, before anything is sized from its lengths; a chunk's
// unpacked length must lie within what its packed bytes can expand to
// under the stream's method, and the total within `maxUnpacked`.
Status UnpackXpk(ByteSource& source, uint32_t maxUnpacked, UnpackedFrame& frame, uint8_t methodTag[4]) noexcept;

}  // namespace yafa
