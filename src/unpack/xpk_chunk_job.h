// The inputs of one XPK method call.
#pragma once

#include <cstdint>

namespace yafa {

// Room the XPK reader keeps behind every chunk's end in the stream's output
// buffer. Methods may write into it, never beyond it.
constexpr uint32_t XPK_OUTPUT_SLACK = 16384;

struct XpkChunkJob {
    const uint8_t* packed;    // PL rounded up to 4 bytes, all read from the file
    uint32_t packedLength;    // PL, not rounded
    uint8_t* output;          // the stream's output buffer
    uint32_t chunkStart;      // where this chunk's bytes begin in `output`
    uint32_t unpackedLength;  // UL

    // The reader keeps these invariants; the methods rely on them.
    constexpr uint32_t packedSize() const noexcept { return (packedLength + 3u) & ~3u; }
    constexpr uint64_t outputSize() const noexcept {
        return uint64_t{chunkStart} + unpackedLength + XPK_OUTPUT_SLACK;
    }
};

// Each method decodes one packed chunk. They write the chunk's bytes at
// output + chunkStart and may run into the slack, read only packed[0, PL4)
// and never reach before output[0]. False when the chunk would break one of
// those limits; the stream is then abandoned.
bool DecodeFastChunk(const XpkChunkJob& job) noexcept;
bool DecodeNukeChunk(const XpkChunkJob& job) noexcept;
bool DecodeRakeChunk(const XpkChunkJob& job) noexcept;

}  // namespace yafa
