// The FAST method: one literal byte or one copy of 3..18 bytes from up to
// 4095 bytes back per token. Literals are read forwards from the start of the
// payload; control words and match words are read backwards from its end,
// and the chunk ends after the first control word that leaves the word
// position at or below the literal position.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "format/big_endian.h"
#include "unpack/copy_util.h"
#include "unpack/xpk_chunk_job.h"

namespace yafa {

namespace {

constexpr uint32_t kTokensPerControl = kFastTokensPerControl;
constexpr uint32_t kMaxMatch = kFastMaxMatch;
constexpr size_t kMaxDistance = kFastMaxDistance;

// A control word's tokens sit in bits 31..16, the next one on top, with a
// marker bit below them: once the marker is on top, the word is used up.
constexpr uint32_t kMarker = 0x8000;
constexpr uint32_t kUsedUp = 0x80000000;

// What one control word of 16 worst-case tokens may need: 16 match words,
// literals read 16 bytes at a time (so up to 31 bytes from the literal
// position), and 16 copies of 18 bytes plus a copy's overrun.
constexpr uint32_t kWordRoom = 2 * kTokensPerControl;
constexpr uint32_t kLiteralRoom = 2 * kTokensPerControl;
constexpr size_t kOutputRoom = kTokensPerControl * kMaxMatch + kCopyOverrun;

// Runs the tokens of one control word while all of the room above is there.
// Stops early, leaving the token on top, at a match that must go the careful
// way: D = 0, or (near the stream's start) D reaching before output[0].
template <bool kNearStart>
[[gnu::always_inline]] inline uint32_t RunRoomyTokens(uint32_t tokens, const uint8_t* packed, uint32_t& lit,
                                                      uint32_t& wp, uint8_t*& out, const uint8_t* outBase) noexcept {
    for (;;) {
        // The literals before the next match, copied 16 at once; the bytes
        // beyond them are overwritten by what follows.
        const auto literals = static_cast<uint32_t>(std::countl_zero(tokens));
        std::memcpy(out, packed + lit, 16);
        out += literals;
        lit += literals;
        tokens <<= literals;
        if (tokens == kUsedUp) return tokens;

        const uint32_t m = LoadU16BE(packed + wp - 2);
        const size_t distance = m >> 4;
        if (kNearStart ? distance - 1 >= static_cast<size_t>(out - outBase) : distance == 0) return tokens;
        wp -= 2;
        tokens <<= 1;
        const size_t length = kMaxMatch - (m & 15);
        CopyMatchUp(out, distance, length);
        out += length;
    }
}

}  // namespace

Status DecodeFastChunk(const XpkChunkJob& job) noexcept {
    const uint8_t* const packed = job.packed;
    // Literal reads may run into the chunk's padding, which is ours to read.
    // Positions are kept in 32 bits, which the hot loop runs faster with; a
    // padded length of 2^32 loses only its last padding byte to that.
    const auto litLimit = static_cast<uint32_t>(std::min<uint64_t>(job.packedSize(), UINT32_MAX));
    uint32_t lit = 0;
    uint32_t wp = job.packedLength;

    uint8_t* const outBase = job.output;
    uint8_t* const chunkEnd = outBase + job.chunkStart + job.unpackedLength;
    uint8_t* const outEnd = chunkEnd + XPK_OUTPUT_SLACK;
    uint8_t* out = outBase + job.chunkStart;

    do {
        YAFA_CHECK(wp >= 2, PackedDataEndsEarly);
        wp -= 2;
        uint32_t tokens = (uint32_t{LoadU16BE(packed + wp)} << 16) | kMarker;

        // With room for 16 worst-case tokens everywhere, run them without
        // per-token checks.
        if (wp >= kWordRoom && litLimit - lit >= kLiteralRoom && static_cast<size_t>(outEnd - out) >= kOutputRoom) {
            if (static_cast<size_t>(out - outBase) >= kMaxDistance)
                tokens = RunRoomyTokens<false>(tokens, packed, lit, wp, out, outBase);
            else
                tokens = RunRoomyTokens<true>(tokens, packed, lit, wp, out, outBase);
        }
        // Careful tail: near the ends of the streams or of the buffer, and
        // for the rare tokens the loop above hands over.
        for (; tokens != kUsedUp; tokens <<= 1) {
            if (!(tokens & kUsedUp)) {
                YAFA_CHECK(lit < litLimit, PackedDataEndsEarly);
                YAFA_CHECK(out < outEnd, OutputOverrun);
                *out++ = packed[lit++];
                continue;
            }
            YAFA_CHECK(wp >= 2, PackedDataEndsEarly);
            wp -= 2;
            const uint32_t m = LoadU16BE(packed + wp);
            const size_t distance = m >> 4;
            const uint32_t length = kMaxMatch - (m & 15);
            YAFA_CHECK(static_cast<size_t>(outEnd - out) >= length, OutputOverrun);
            YAFA_CHECK(distance <= static_cast<size_t>(out - outBase), BackReferenceBeforeStart);
            if (distance == 0) {
                // Copying bytes onto themselves leaves them as they are; that
                // is harmless past the chunk's end (trailing tokens), but
                // inside the chunk it would hand out bytes never written.
                YAFA_CHECK(out >= chunkEnd, BackReferenceDistanceZero);
                out += length;
                continue;
            }
            const uint8_t* src = out - distance;
            for (uint32_t i = 0; i < length; ++i) out[i] = src[i];
            out += length;
        }
    } while (wp > lit);

    // A chunk that stops short of its length would leave unwritten bytes in
    // the frame.
    YAFA_CHECK(out >= chunkEnd, OutputShortOfLength);
    return Status::Ok;
}

}  // namespace yafa
