// The FAST method: one literal byte or one copy of 3..18 bytes from up to
// 4095 bytes back per token. Literals are read forwards from the start of the
// payload; control words and match words are read backwards from its end,
// and the chunk ends after the first control word that leaves the word
// position at or below the literal position.
#include <cstring>

#include "unpack/xpk_chunk_job.h"
#include "util/big_endian.h"

namespace yafa {

namespace {

constexpr int kTokensPerControl = 16;
constexpr uint32_t kMaxMatch = 18;

}  // namespace

bool DecodeFastChunk(const XpkChunkJob& job) noexcept {
    const uint8_t* const packed = job.packed;
    // Literal reads may run into the chunk's padding, which is ours to read.
    const uint32_t litLimit = job.packedSize();
    uint32_t lit = 0;
    uint32_t wp = job.packedLength;

    uint8_t* const outBase = job.output;
    uint8_t* const chunkEnd = outBase + job.chunkStart + job.unpackedLength;
    uint8_t* const outEnd = chunkEnd + XPK_OUTPUT_SLACK;
    uint8_t* out = outBase + job.chunkStart;

    do {
        if (wp < 2) return false;
        wp -= 2;
        uint32_t ctrl = LoadU16BE(packed + wp);

        // When 16 worst-case tokens (16 literals, 16 match words, 16 copies
        // of 18 bytes) fit everywhere, run them without per-token checks.
        const bool roomy = wp >= 2 * kTokensPerControl && litLimit - lit >= kTokensPerControl &&
                           static_cast<size_t>(outEnd - out) >= kTokensPerControl * kMaxMatch;
        int token = 0;
        if (roomy && ctrl == 0) {  // 16 literals
            std::memcpy(out, packed + lit, kTokensPerControl);
            out += kTokensPerControl;
            lit += kTokensPerControl;
            token = kTokensPerControl;
        } else if (roomy) {
            for (; token < kTokensPerControl; ++token, ctrl <<= 1) {
                if (!(ctrl & 0x8000)) {
                    *out++ = packed[lit++];
                    continue;
                }
                const uint32_t m = LoadU16BE(packed + wp - 2);
                const size_t distance = m >> 4;
                // D = 0 and D reaching before output[0] go the careful way.
                if (distance - 1 >= static_cast<size_t>(out - outBase)) break;
                wp -= 2;
                const uint32_t length = kMaxMatch - (m & 15);
                const uint8_t* src = out - distance;
                if (distance >= kMaxMatch) {
                    // No overlap within 18 bytes; the bytes beyond `length`
                    // are overwritten by the following tokens or lie in the
                    // room checked above.
                    std::memcpy(out, src, kMaxMatch);
                } else {
                    for (uint32_t i = 0; i < length; ++i) out[i] = src[i];
                }
                out += length;
            }
        }
        // Careful tail: near the ends of the streams or of the buffer, and
        // for the rare tokens the loop above hands over.
        for (; token < kTokensPerControl; ++token, ctrl <<= 1) {
            if (!(ctrl & 0x8000)) {
                if (lit >= litLimit || out >= outEnd) return false;
                *out++ = packed[lit++];
                continue;
            }
            if (wp < 2) return false;
            wp -= 2;
            const uint32_t m = LoadU16BE(packed + wp);
            const size_t distance = m >> 4;
            const uint32_t length = kMaxMatch - (m & 15);
            if (static_cast<size_t>(outEnd - out) < length) return false;
            if (distance > static_cast<size_t>(out - outBase)) return false;
            if (distance == 0) {
                // Copying bytes onto themselves leaves them as they are; that
                // is harmless past the chunk's end (trailing tokens), but
                // inside the chunk it would hand out bytes never written.
                if (out < chunkEnd) return false;
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
    return out >= chunkEnd;
}

}  // namespace yafa
