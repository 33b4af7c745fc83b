// Reader of the XPK container. The stream header names the method; the
// chunks that follow are unpacked one after another into one output buffer
// that always keeps XPK_OUTPUT_SLACK bytes of room behind the current chunk.
#include "unpack/xpk.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "plugin/host_services.h"
#include "unpack/xpk_chunk_job.h"

namespace yafa {

namespace {

enum : int32_t { kChunkRaw = 0, kChunkPacked = 1, kChunkEnd = 15 };

using ChunkDecoder = bool (*)(const XpkChunkJob&) noexcept;

ChunkDecoder MethodForTag(const uint8_t tag[4]) noexcept {
    if (std::memcmp(tag, "FAST", 4) == 0) return DecodeFastChunk;
    if (std::memcmp(tag, "NUKE", 4) == 0) return DecodeNukeChunk;
    if (std::memcmp(tag, "RAKE", 4) == 0) return DecodeRakeChunk;
    return nullptr;
}

// Grows `buffer` to `size` bytes, keeping its contents. On failure the old
// block stays owned by `buffer`, so the caller's cleanup frees it.
bool Grow(MallocBytes& buffer, size_t size) noexcept {
    void* grown = std::realloc(buffer.get(), size);
    if (grown == nullptr) return false;
    (void)buffer.release();
    buffer.reset(static_cast<uint8_t*>(grown));
    return true;
}

}  // namespace

int UnpackXpk(HostFile file, UnpackedFrame& frame, uint32_t maxUnpacked) noexcept {
    (void)ReadU32BE(file);  // stream length: not needed, the end chunk ends the stream
    uint8_t tag[4];
    if (HostRead(file, tag, 4) != 4) return 0;
    const ChunkDecoder decode = MethodForTag(tag);
    if (decode == nullptr) return 0;
    (void)ReadU32BE(file);  // unpacked length: the chunks' lengths are what counts
    HostSeek(file, 16, HOST_SEEK_CURRENT);
    const uint32_t flags = static_cast<uint32_t>(HostReadByte(file)) & 0xFF;
    HostSeek(file, 3, HOST_SEEK_CURRENT);
    if (flags & 4) {
        const uint16_t extraLength = ReadU16BE(file);
        HostSeek(file, extraLength, HOST_SEEK_CURRENT);
    }
    const bool longHeaders = (flags & 1) != 0;

    MallocBytes output;
    uint64_t capacity = 0;  // size of the block behind `output`
    uint32_t total = 0;
    for (;;) {
        const int32_t type = HostReadByte(file);
        HostSeek(file, 3, HOST_SEEK_CURRENT);
        uint32_t pl;
        uint32_t ul;
        if (longHeaders) {
            pl = ReadU32BE(file);
            ul = ReadU32BE(file);
        } else {
            pl = ReadU16BE(file);
            ul = ReadU16BE(file);
        }
        if (type == kChunkEnd) {
            frame.bytes = std::move(output);
            frame.length = total;
            return 1;
        }
        // Other types, including the end of the file, cannot be followed
        // safely: there is no telling where their bodies end.
        if (type != kChunkRaw && type != kChunkPacked) return 0;

        // The running total plus the slack must stay a 32-bit size, and the
        // frame must stay within what the caller can use.
        const uint64_t newTotal = uint64_t{total} + ul;
        if (newTotal > maxUnpacked || newTotal + XPK_OUTPUT_SLACK > UINT32_MAX) return 0;
        const uint64_t pl4 = (uint64_t{pl} + 3) & ~uint64_t{3};
        if (type == kChunkRaw) {
            // A raw chunk's padding lands in the slack; more than that would
            // overrun the buffer.
            if (pl4 > uint64_t{ul} + XPK_OUTPUT_SLACK) return 0;
            // One shorter than its length would leave unwritten bytes in the frame.
            if (pl < ul) return 0;
        } else {
            // No method needs much more than a byte per unpacked byte; this
            // keeps a few hostile header bytes from asking for gigabytes.
            if (pl4 > 2 * uint64_t{ul} + XPK_OUTPUT_SLACK) return 0;
        }
        // Every chunk gets its slack behind it. The block grows by doubling
        // rather than to the exact size, so that a stream of many chunks is
        // not copied over at every one, but never beyond what the largest
        // allowed frame and its slack need.
        const uint64_t need = newTotal + XPK_OUTPUT_SLACK;
        if (need > capacity) {
            const uint64_t most = std::min<uint64_t>(uint64_t{maxUnpacked} + XPK_OUTPUT_SLACK, UINT32_MAX);
            const uint64_t grown = std::min(std::max(need, 2 * capacity), most);
            if (!Grow(output, static_cast<size_t>(grown))) return 0;
            capacity = grown;
        }

        // A body cut short by the end of the file fails the stream.
        if (type == kChunkRaw) {
            if (!HostReadExact(file, output.get() + total, static_cast<uint32_t>(pl4))) return 0;
        } else {
            MallocBytes packed = AllocBytes(static_cast<size_t>(pl4));
            if (!packed) return 0;
            if (!HostReadExact(file, packed.get(), static_cast<uint32_t>(pl4))) return 0;
            const XpkChunkJob job{packed.get(), pl, output.get(), total, ul};
            if (!decode(job)) return 0;
        }
        total = static_cast<uint32_t>(newTotal);
    }
}

}  // namespace yafa
