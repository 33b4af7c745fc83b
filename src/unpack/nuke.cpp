// NUKE: literal runs and back references. The codes come from four readers
// that take their words from one forward stream (token bits, 2-bit pairs,
// nibbles, distance bits); literal bytes are read backwards from the end of
// the payload.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "format/big_endian.h"
#include "format/nuke_format.h"
#include "unpack/copy_util.h"
#include "unpack/xpk_chunk_job.h"

namespace yafa {
namespace {

// The distance reader holds the unread bits of its current word below a
// field's worth and takes 16 more: they must fit its 32-bit word.
static_assert(kNukeMaxDistanceBits - 1 + 16 <= 32);

// The token-bit and pair readers keep their word's unread bits at the top of
// a 32-bit value with a marker bit just below them; once the marker is on
// top, the word is used up. The nibble reader keeps its word's unread
// nibbles at the bottom with a marker above them; once only the marker is
// left, the word is used up.
constexpr uint32_t kMarker = 0x8000;
constexpr uint32_t kUsedUp = 0x80000000;
constexpr uint64_t kNibblesUsedUp = 1;

// Writes count literal bytes to out, taken downwards from just below `from`
// (which lies `before` bytes above the payload's start), 8 at a time where
// the payload and the output (`room` bytes) leave space for whole blocks.
inline void CopyReversed(uint8_t* out, const uint8_t* from, size_t count, size_t before, size_t room) noexcept {
    const size_t blocks = (count + 7) / 8 * 8;
    if constexpr (std::endian::native == std::endian::little) {
        if (blocks <= before && blocks <= room) {
            for (size_t i = 0; i < count; i += 8) {
                uint64_t v;
                std::memcpy(&v, from - i - 8, 8);
                v = __builtin_bswap64(v);
                std::memcpy(out + i, &v, 8);
            }
            return;
        }
    }
    for (size_t i = 0; i < count; ++i) out[i] = *--from;
}

}  // namespace

Status DecodeNukeChunk(const XpkChunkJob& job) noexcept {
    // The payload seen from both ends: forward words from `fwd` upwards,
    // literal bytes from `lit` downwards. fwd <= lit always, so the two
    // never overlap.
    const uint8_t* const payload = job.packed;
    const uint8_t* fwd = payload;
    const uint8_t* lit = payload + job.packedLength;

    uint8_t* const first = job.output;
    uint8_t* out = first + job.chunkStart;
    uint8_t* const end = out + job.unpackedLength;
    uint8_t* const limit = first + job.outputSize();

    // Each reader holds the rest of its current word; an empty one takes the
    // next word from the forward stream when asked for a value.
    uint32_t tokens = kUsedUp;            // bits, from bit 15 down
    uint32_t pairs = kUsedUp;             // pairs, from bits 15..14 down
    uint64_t nibbles = kNibblesUsedUp;    // nibbles, from bits 3..0 up
    uint32_t distWord = 0, distLeft = 0;  // a bit stream, MSB first

    auto word16 = [&](uint32_t& word) noexcept {
        YAFA_CHECK(lit - fwd >= 2, PackedDataEndsEarly);
        word = LoadU16BE(fwd);
        fwd += 2;
        return Status::Ok;
    };
    // Token bits and pairs: the top n bits of their reader, which takes its
    // next word once the marker has reached the top.
    auto takeBits = [&](uint32_t& reader, int n, uint32_t& value) noexcept {
        if (reader == kUsedUp) {
            uint32_t word;
            YAFA_TRY(word16(word));
            reader = (word << 16) | kMarker;
        }
        value = reader >> (32 - n);
        reader <<= n;
        return Status::Ok;
    };
    auto tokenBit = [&](uint32_t& bit) noexcept { return takeBits(tokens, 1, bit); };
    auto pair = [&](uint32_t& value) noexcept { return takeBits(pairs, 2, value); };
    auto refillNibbles = [&]() noexcept {
        if (nibbles == kNibblesUsedUp) {
            YAFA_CHECK(lit - fwd >= 4, PackedDataEndsEarly);
            nibbles = LoadU32BE(fwd) | (uint64_t{1} << 32);
            fwd += 4;
        }
        return Status::Ok;
    };
    auto nibble = [&](uint32_t& value) noexcept {
        YAFA_TRY(refillNibbles());
        value = static_cast<uint32_t>(nibbles) & 15u;
        nibbles >>= 4;
        return Status::Ok;
    };
    // The distance reader takes its next word at irregular times; away from
    // the end of the forward stream it loads one always and keeps it only
    // when due, which spares a hard-to-predict branch.
    auto distBits = [&](uint32_t count, uint32_t& value) noexcept {
        const bool due = distLeft < count;
        if (lit - fwd >= 2) [[likely]] {
            const uint32_t keep = uint32_t{due} - 1;
            distWord = (distWord & keep) | (((distWord << 16) | LoadU16BE(fwd)) & ~keep);
            distLeft += 16 * uint32_t{due};
            fwd += 2 * size_t{due};
        } else {
            YAFA_CHECK(!due, PackedDataEndsEarly);
        }
        distLeft -= count;
        value = (distWord >> distLeft) & ((1u << count) - 1u);
        return Status::Ok;
    };

    for (;;) {
        uint32_t bit;
        YAFA_TRY(tokenBit(bit));
        if (bit == 0) [[unlikely]] {
            YAFA_TRY(tokenBit(bit));
            if (bit != 0) {
                YAFA_CHECK(lit != fwd, PackedDataEndsEarly);
                YAFA_CHECK(out != limit, OutputOverrun);
                *out++ = *--lit;
            } else {
                // A run: 3 bytes per zero pair, then 4, 3 or 2.
                const size_t room = static_cast<size_t>(limit - out);
                uint32_t v;
                size_t count = 0;
                for (;;) {
                    YAFA_TRY(pair(v));
                    if (v != 0) break;
                    count += 3;
                    YAFA_CHECK(count <= room, OutputOverrun);
                }
                count += 5 - v;
                YAFA_CHECK(count <= room, OutputOverrun);
                YAFA_CHECK(count <= static_cast<size_t>(lit - fwd), PackedDataEndsEarly);
                CopyReversed(out, lit, count, static_cast<size_t>(lit - payload), room);
                lit -= count;
                out += count;
            }
            // Only literal output can finish a chunk; a copy always follows.
            if (out >= end) return Status::Ok;
        }

        uint32_t s, field;
        YAFA_TRY(nibble(s));
        const NukeDistanceCode code = kNukeDistanceCodes[s];
        YAFA_TRY(distBits(code.bits, field));
        const size_t distance = code.base + field;
        // One test for both: distance 0 would hand out bytes never written.
        if (distance - 1 >= static_cast<size_t>(out - first)) [[unlikely]]
            return distance == 0 ? Status::BackReferenceDistanceZero : Status::BackReferenceBeforeStart;
        const size_t room = static_cast<size_t>(limit - out);
        size_t length = code.length;
        if (length == 0) {
            uint32_t v;
            YAFA_TRY(pair(v));
            if (v != 0) {
                length = 7 - v;
            } else {
                // 6 bytes, 15 more for each zero nibble, then 16 - n for the
                // first nonzero nibble n. The zero nibbles at the bottom of
                // the reader's word are counted at once; the marker stops
                // the count when they run to the word's end.
                length = kNukeLongBase;
                for (;;) {
                    YAFA_TRY(refillNibbles());
                    const uint32_t zeros = static_cast<uint32_t>(std::countr_zero(nibbles)) / 4;
                    length += kNukeNibbleStep * size_t{zeros};
                    nibbles >>= 4 * zeros;
                    YAFA_CHECK(length <= room, OutputOverrun);
                    if (nibbles != kNibblesUsedUp) break;
                }
                length += 16 - (static_cast<uint32_t>(nibbles) & 15u);
                nibbles >>= 4;
            }
        }

        // Lowest address first: an overlapping source repeats the last
        // `distance` bytes. The wide copy needs room for its overrun.
        if (length + kCopyOverrun <= room) {
            CopyMatchUp(out, distance, length);
        } else {
            YAFA_CHECK(length <= room, OutputOverrun);
            const uint8_t* src = out - distance;
            for (size_t i = 0; i < length; ++i) out[i] = src[i];
        }
        out += length;
    }
}

}  // namespace yafa
