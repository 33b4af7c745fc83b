// The S404 method: a backwards LZ scheme with 9-bit codes, whose bit stream
// is read in 16-bit words from the end of the packed data towards its start.
#pragma once

#include <cstdint>
#include <span>

#include "lumivue/host_abi.h"
#include "unpack/unpacked_frame.h"

namespace yafa {

// Unpacks the stream in memory. `packed` is the packed data (the bytes
// behind the 12-byte header that were really read), `packedEnd` the offset
// of its last 16-bit word, `output` exactly unpackedSize bytes. False when
// the stream would read or write outside those spans.
bool DecodeS404(std::span<const uint8_t> packed, uint32_t packedEnd, std::span<uint8_t> output) noexcept;

// Reads the header and packed data from `file`, positioned right after the
// "S404" tag. `storedLength` is the frame's stored length, tag and header
// included. An unpackedSize above `maxUnpacked` fails without allocating.
// On success `frame` owns the unpacked bytes; on failure it is untouched.
int UnpackS404(HostFile file, uint32_t storedLength, UnpackedFrame& frame, uint32_t maxUnpacked) noexcept;

}  // namespace yafa
