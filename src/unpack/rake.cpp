// RAKE chunks: LZ items whose counts use the fixed RakeLengthCode. A payload
// holds a byte stream (one byte per item, read downwards from byteStreamEnd-1
// to offset 4) and a bit stream of big-endian words (flags, count codewords,
// distance classes and high distance bits). The chunk's region is filled from
// its end towards its start, and matches copy only bytes the chunk has
// already produced, so nothing outside the region is ever read.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "format/big_endian.h"
#include "format/rake_format.h"
#include "unpack/copy_util.h"
#include "unpack/xpk_chunk_job.h"

namespace yafa {
namespace {

constexpr size_t kHeaderSize = kRakeHeaderBytes;

struct RakeItem {
    uint32_t bits;      // stream bits the item takes
    uint32_t count;     // bytes a match writes; 0 for a literal
    uint32_t distance;  // 1..18688
};

// Decodes the item at the top of `window`; `byte` is its byte-stream byte.
// No item needs more than RAKE_MAX_ITEM_BITS, so the window always holds
// all of it.
static_assert(RAKE_MAX_ITEM_BITS <= 32);
[[gnu::always_inline]] inline RakeItem DecodeItem(uint32_t window, uint32_t byte) {
    if ((window >> 31) == 0) return {1, 0, 0};
    const RakeCodeEntry code = RakeDecodeCount(window << 1);
    const uint32_t rest = window << (1 + code.length);  // class bits on top
    auto match = [&](const RakeDistanceClass& c) -> RakeItem {
        const uint32_t high = c.highBits ? (rest << c.classBits) >> (32 - c.highBits) : 0;
        return {1 + code.length + c.classBits + c.highBits, code.value, c.base + high * 256 + byte};
    };
    if ((rest >> 31) == 0) return match(kRakeClasses[0]);
    if (((rest >> 30) & 1) == 0) return match(kRakeClasses[1]);
    return match(kRakeClasses[2]);
}

// The word at `at`, with zeros for the bytes beyond `size`: the look-ahead
// word may run past the packed data, and none of its bits reaches the output.
uint32_t FetchWordPadded(const uint8_t* packed, size_t size, size_t at) {
    if (at < size && size - at >= 4) return LoadU32BE(packed + at);
    uint32_t word = 0;
    for (size_t i = 0; i < 4; ++i) word = (word << 8) | (at + i < size ? packed[at + i] : 0u);
    return word;
}

class RakeChunkDecoder {
public:
    RakeChunkDecoder(const XpkChunkJob& job, uint32_t skipBits, size_t byteStreamEnd)
        : packed_(job.packed),
          size_(job.packedSize()),
          skipBits_(skipBits),
          streamStart_(byteStreamEnd + (byteStreamEnd & 1)),  // odd: one byte belongs to neither stream
          byteAt_(job.packed + byteStreamEnd - 1),
          regionStart_(job.output + job.chunkStart),
          regionEnd_(regionStart_ + job.unpackedLength),
          out_(regionEnd_) {
        // Stream bits inside packed: the first word gives its top
        // 32 - skipBits bits, every later word all 32.
        const size_t bytes = size_ - streamStart_;
        bitsInPacked_ = bytes * 8 <= 32 ? std::min<size_t>(bytes * 8, 32 - skipBits) : bytes * 8 - skipBits;

        // Fill the window and fetch the word that holds the bit after it.
        wordAt_ = streamStart_;
        if (skipBits < 32) {
            acc_ = uint64_t{FetchWordPadded(packed_, size_, wordAt_) >> skipBits} << (32 + skipBits);
            avail_ = 32 - skipBits;
        }
        wordAt_ += 4;
        while (avail_ <= 32) Refill<true>();
    }

    Status Run(size_t items) {
        // While every item is far from the end of the packed data (each
        // fetches at most one word) and from the region's start (each writes
        // at most RAKE_MAX_COUNT bytes, and a copy may store kCopyOverrun
        // more below itself), skip those bounds tests.
        for (;;) {
            const size_t words = wordAt_ <= size_ ? (size_ - wordAt_) / 4 : 0;
            const size_t below = static_cast<size_t>(out_ - regionStart_);
            const size_t room = below > kCopyOverrun ? (below - kCopyOverrun) / RAKE_MAX_COUNT : 0;
            size_t batch = std::min({items, words, room});
            if (batch == 0) break;
            items -= batch;
            do {
                YAFA_TRY(Step<false>());
            } while (--batch != 0);
        }
        for (; items != 0; --items) YAFA_TRY(Step<true>());
        // Items that stop short of the region's start leave its lowest bytes
        // holding whatever the buffer held before; that is no frame, so a
        // short chunk counts as corrupt.
        YAFA_CHECK(out_ == regionStart_, OutputShortOfLength);
        return Status::Ok;
    }

private:
    template <bool kChecked>
    [[gnu::always_inline]] void Refill() {
        const uint32_t word = kChecked ? FetchWordPadded(packed_, size_, wordAt_) : LoadU32BE(packed_ + wordAt_);
        acc_ |= uint64_t{word} << (32 - avail_);
        avail_ += 32;
        wordAt_ += 4;
    }

    template <bool kChecked>
    [[gnu::always_inline]] Status Step() {
        const uint32_t byte = *byteAt_--;
        const RakeItem item = DecodeItem(static_cast<uint32_t>(acc_ >> 32), byte);
        if constexpr (kChecked) {
            // Every bit the item uses must come from packed, not the padding.
            const size_t consumed = (wordAt_ - streamStart_) * 8 - skipBits_ - avail_;
            YAFA_CHECK(item.bits <= bitsInPacked_ - consumed, PackedDataEndsEarly);
            YAFA_CHECK(static_cast<size_t>(out_ - regionStart_) >= std::max<uint32_t>(item.count, 1), OutputOverrun);
        }
        if (item.count == 0) {
            *--out_ = static_cast<uint8_t>(byte);
        } else {
            // Copy only from bytes this chunk has produced.
            YAFA_CHECK(item.distance <= static_cast<size_t>(regionEnd_ - out_), BackReferenceBeforeStart);
            // The wide copy may store a little below the match, where later
            // items write; it needs that room inside the region.
            if (!kChecked || static_cast<size_t>(out_ - regionStart_) >= item.count + kCopyOverrun) {
                CopyMatchDown(out_, item.distance, item.count);
                out_ -= item.count;
            } else {
                uint8_t* const stop = out_ - item.count;
                do {
                    --out_;
                    *out_ = out_[item.distance];
                } while (out_ != stop);
            }
        }
        acc_ <<= item.bits;
        avail_ -= item.bits;
        if (avail_ <= 32) Refill<kChecked>();
        return Status::Ok;
    }

    const uint8_t* const packed_;
    const size_t size_;  // PL4
    const uint32_t skipBits_;
    const size_t streamStart_;
    size_t bitsInPacked_;
    const uint8_t* byteAt_;  // next byte-stream byte
    uint8_t* const regionStart_;
    uint8_t* const regionEnd_;
    uint8_t* out_;  // just above the next byte to write

    // The window is the top 32 bits of acc_; below it wait the unused bits of
    // the current word. avail_ counts both: 33..64 between items.
    uint64_t acc_ = 0;
    uint32_t avail_ = 0;
    size_t wordAt_;  // next word to fetch
};

}  // namespace

Status DecodeRakeChunk(const XpkChunkJob& job) noexcept {
    const size_t size = job.packedSize();
    YAFA_CHECK(size >= kHeaderSize, PackedDataEndsEarly);
    const uint32_t skipBits = LoadU16BE(job.packed);
    const size_t byteStreamEnd = LoadU16BE(job.packed + 2);
    YAFA_CHECK(skipBits <= kRakeMaxSkipBits, RakeSkipBitsInvalid);
    YAFA_CHECK(byteStreamEnd > kHeaderSize && byteStreamEnd <= size, RakeByteStreamOutsideChunk);
    // One item per byte-stream byte; the one from offset 4 is the last.
    RakeChunkDecoder decoder(job, skipBits, byteStreamEnd);
    return decoder.Run(byteStreamEnd - kHeaderSize);
}

}  // namespace yafa
