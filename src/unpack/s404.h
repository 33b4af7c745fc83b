// The S404 method: a backwards LZ scheme with 9-bit codes, whose bit stream
// is read in 16-bit words from the end of the packed data towards its start.
#pragma once

#include <cstdint>
#include <span>

#include "format/byte_source.h"
#include "format/status.h"
#include "unpack/unpacked_frame.h"

namespace yafa {

// Unpacks the stream in memory. `packed` is the packed data (the bytes
// behind the 12-byte header), `packedEnd` the offset of its last 16-bit
// word, `output` exactly unpackedSize bytes. Fails when the stream would
// read or write outside those spans.
Status DecodeS404(std::span<const uint8_t> packed, uint32_t packedEnd, std::span<uint8_t> output) noexcept;

// Reads the header and packed data from `source`, positioned right after
// the "S404" tag, and unpacks them. `storedLength` is the frame's stored
// length, tag and header included. Nothing is allocated for an unpackedSize
// above `maxUnpacked` or above what the packed data can expand to, and the
// output only once the packed data has been read. On success `frame` owns
// the unpacked bytes; on failure it is untouched.
Status UnpackS404(ByteSource& source, uint64_t storedLength, uint32_t maxUnpacked, UnpackedFrame& frame) noexcept;

}  // namespace yafa
