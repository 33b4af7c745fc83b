// The inputs of one XPK method call.
#pragma once

#include <cstdint>

#include "format/status.h"
#include "format/xpk_format.h"

namespace yafa {

struct XpkChunkJob {
    const uint8_t* packed;    // PL rounded up to 4 bytes, all read from the file
    uint32_t packedLength;    // PL, not rounded
    uint8_t* output;          // the stream's output buffer
    uint32_t chunkStart;      // where this chunk's bytes begin in `output`
    uint32_t unpackedLength;  // UL

    // The reader keeps these invariants; the methods rely on them.
    constexpr uint64_t packedSize() const noexcept { return XpkPaddedLength(packedLength); }
    constexpr uint64_t outputSize() const noexcept {
        return uint64_t{chunkStart} + unpackedLength + XPK_OUTPUT_SLACK;
    }
};

// Each method decodes one packed chunk. They write the chunk's bytes at
// output + chunkStart and may run into the slack, read only packed[0, PL4)
// and never reach before output[0]. A chunk that would break one of those
// limits fails with its reason; the stream is then abandoned.
Status DecodeFastChunk(const XpkChunkJob& job) noexcept;
Status DecodeNukeChunk(const XpkChunkJob& job) noexcept;
Status DecodeRakeChunk(const XpkChunkJob& job) noexcept;

}  // namespace yafa
