// NUKE: literal runs and back references. The codes come from four readers
// that take their words from one forward stream (token bits, 2-bit pairs,
// nibbles, distance bits); literal bytes are read backwards from the end of
// the payload.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "unpack/xpk_chunk_job.h"

namespace yafa {
namespace {

// A copy's nibble s selects its distance field width, the field's base and
// the copy length (0: long, its length follows as a pair and nibbles). The
// bases make each length class's distances contiguous.
struct NukeDistanceCode {
    uint16_t bits;
    uint16_t base;
    uint16_t length;
};

constexpr NukeDistanceCode kNukeCodes[16] = {
    {4, 0, 2},     {6, 16, 2},    {8, 80, 2},     {9, 336, 2},    {4, 0, 3},     {7, 16, 3},
    {9, 144, 3},   {11, 656, 3},  {13, 2704, 3},  {14, 10896, 3}, {5, 0, 0},     {7, 32, 0},
    {9, 160, 0},   {11, 672, 0},  {13, 2720, 0},  {14, 10912, 0},
};
static_assert(sizeof(kNukeCodes) == 96);

// The payload seen from both ends: forward words from `fwd` upwards, literal
// bytes from `lit` downwards. fwd <= lit always, so the two never overlap.
struct NukeInput {
    const uint8_t* bytes;
    uint32_t fwd;
    uint32_t lit;

    bool Word16(uint32_t& word) noexcept {
        if (lit - fwd < 2) return false;
        word = (uint32_t{bytes[fwd]} << 8) | bytes[fwd + 1];
        fwd += 2;
        return true;
    }
    bool Word32(uint32_t& word) noexcept {
        if (lit - fwd < 4) return false;
        word = (uint32_t{bytes[fwd]} << 24) | (uint32_t{bytes[fwd + 1]} << 16) | (uint32_t{bytes[fwd + 2]} << 8) |
               bytes[fwd + 3];
        fwd += 4;
        return true;
    }
};

}  // namespace

bool DecodeNukeChunk(const XpkChunkJob& job) noexcept {
    // A length so close to 2^32 that its rounded size wraps has no buffer.
    if (job.packedSize() < job.packedLength) return false;

    NukeInput in{job.packed, 0, job.packedLength};
    uint8_t* const first = job.output;
    uint8_t* out = first + job.chunkStart;
    uint8_t* const end = out + job.unpackedLength;
    uint8_t* const limit = first + job.outputSize();

    // Each reader holds the rest of its current word; an empty one takes the
    // next word from the forward stream when asked for a value.
    uint32_t tokenWord = 0, tokenLeft = 0;  // bits, from bit 15 down
    uint32_t pairWord = 0, pairLeft = 0;    // pairs, from bits 15..14 down
    uint32_t nibbleWord = 0, nibbleLeft = 0;  // nibbles, from bits 3..0 up
    uint32_t distWord = 0, distLeft = 0;    // a bit stream, MSB first

    auto tokenBit = [&](uint32_t& bit) noexcept {
        if (tokenLeft == 0) {
            if (!in.Word16(tokenWord)) return false;
            tokenLeft = 16;
        }
        --tokenLeft;
        bit = (tokenWord >> tokenLeft) & 1u;
        return true;
    };
    auto pair = [&](uint32_t& value) noexcept {
        if (pairLeft == 0) {
            if (!in.Word16(pairWord)) return false;
            pairLeft = 8;
        }
        --pairLeft;
        value = (pairWord >> (2 * pairLeft)) & 3u;
        return true;
    };
    auto nibble = [&](uint32_t& value) noexcept {
        if (nibbleLeft == 0) {
            if (!in.Word32(nibbleWord)) return false;
            nibbleLeft = 8;
        }
        --nibbleLeft;
        value = nibbleWord & 15u;
        nibbleWord >>= 4;
        return true;
    };
    // Fields are at most 14 bits, so at most 13 old bits meet 16 new ones.
    auto distBits = [&](uint32_t count, uint32_t& value) noexcept {
        if (distLeft < count) {
            uint32_t word;
            if (!in.Word16(word)) return false;
            distWord = (distWord << 16) | word;
            distLeft += 16;
        }
        distLeft -= count;
        value = (distWord >> distLeft) & ((1u << count) - 1u);
        return true;
    };

    for (;;) {
        uint32_t bit;
        if (!tokenBit(bit)) return false;
        if (bit == 0) {
            if (!tokenBit(bit)) return false;
            size_t count = 1;
            if (bit == 0) {
                // A run: 3 bytes per zero pair, then 4, 3 or 2.
                const size_t room = static_cast<size_t>(limit - out);
                uint32_t v;
                count = 0;
                for (;;) {
                    if (!pair(v)) return false;
                    if (v != 0) break;
                    count += 3;
                    if (count > room) return false;
                }
                count += 5 - v;
            }
            if (count > static_cast<size_t>(limit - out) || count > in.lit - in.fwd) return false;
            const uint8_t* src = in.bytes + in.lit;
            in.lit -= static_cast<uint32_t>(count);
            for (size_t i = 0; i < count; ++i) out[i] = *--src;
            out += count;
            // Only literal output can finish a chunk; a copy always follows.
            if (out >= end) return true;
        }

        uint32_t s, field;
        if (!nibble(s)) return false;
        const NukeDistanceCode code = kNukeCodes[s];
        if (!distBits(code.bits, field)) return false;
        const size_t distance = code.base + field;
        const size_t room = static_cast<size_t>(limit - out);
        size_t length = code.length;
        if (length == 0) {
            uint32_t v;
            if (!pair(v)) return false;
            if (v != 0) {
                length = 7 - v;
            } else {
                length = 6;
                for (;;) {
                    if (!nibble(v)) return false;
                    if (v != 0) break;
                    length += 15;
                    if (length > room) return false;
                }
                length += 16 - v;
            }
        }
        if (distance == 0 || distance > static_cast<size_t>(out - first) || length > room) return false;

        // Lowest address first: an overlapping source repeats the last
        // `distance` bytes.
        const uint8_t* src = out - distance;
        uint8_t* dst = out;
        out += length;
        if (distance == 1) {
            std::memset(dst, *src, length);
        } else {
            if (distance >= 8) {
                for (; length >= 8; length -= 8, src += 8, dst += 8) std::memcpy(dst, src, 8);
            }
            while (length-- != 0) *dst++ = *src++;
        }
    }
}

}  // namespace yafa
