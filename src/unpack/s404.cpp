#include "unpack/s404.h"

#include <bit>
#include <climits>
#include <cstring>
#include <utility>

#include "format/big_endian.h"
#include "format/s404_format.h"
#include "unpack/copy_util.h"

namespace yafa {

namespace {

// The stream is a plain MSB-first bit sequence: the top bitsLeft bits of the
// first word, then whole words going down towards offset 0. The first word's
// unused low bits are ORed into the second word, which Start() does once so
// that the hot path can load words without special cases. The buffer keeps up
// to 64 bits, left-aligned, so that one load serves several codes.
struct S404BitReader {
    uint64_t bitBuffer = 0;  // unread bits from bit 63 down, zeros below
    int bitsLeft = 0;        // number of unread bits in bitBuffer
    int64_t wordPointer = 0; // offset of the next word; below 0: none left
    const uint8_t* packed = nullptr;

    void Start(const uint8_t* data, uint32_t packedEnd) noexcept {
        packed = data;
        const int firstBits = LoadU16BE(data + packedEnd) & 15;
        const uint32_t first = LoadU16BE(data + packedEnd - 2);
        bitsLeft = firstBits;
        bitBuffer = firstBits ? uint64_t{first >> (16 - firstBits)} << (64 - firstBits) : 0;
        wordPointer = int64_t{packedEnd} - 6;
        if (wordPointer >= 0) {
            const uint32_t second = LoadU16BE(data + wordPointer) | ((first << firstBits) & 0xFFFF);
            bitBuffer |= uint64_t{second} << (48 - bitsLeft);
            bitsLeft += 16;
            wordPointer -= 2;
        }
    }

    // Tops the buffer up with as many whole words as fit.
    void Refill() noexcept {
        if (wordPointer >= 6) [[likely]] {
            // The next four words in stream order, the first on top: they
            // lie at wordPointer, wordPointer - 2, ... going down.
            const uint8_t* p = packed + wordPointer - 6;
            uint64_t next;
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(&next, p, 8);
                // Each 16-bit lane already holds its word, bytes swapped.
                next = ((next & 0x00FF00FF00FF00FFu) << 8) | ((next >> 8) & 0x00FF00FF00FF00FFu);
            } else {
                next = (uint64_t{LoadU16BE(p + 6)} << 48) | (uint64_t{LoadU16BE(p + 4)} << 32) |
                       (uint64_t{LoadU16BE(p + 2)} << 16) | LoadU16BE(p);
            }
            const int words = (64 - bitsLeft) >> 4;
            next &= ~uint64_t{0} << (64 - 16 * words);
            bitBuffer |= next >> bitsLeft;
            bitsLeft += 16 * words;
            wordPointer -= 2 * words;
            return;
        }
        while (bitsLeft <= 48 && wordPointer >= 0) {
            bitBuffer |= uint64_t{LoadU16BE(packed + wordPointer)} << (48 - bitsLeft);
            bitsLeft += 16;
            wordPointer -= 2;
        }
    }

    // Next n bits (0..16), first bit most significant. Fails when the stream
    // would need a word below offset 0.
    Status ReadBits(int n, uint32_t& value) noexcept {
        if (bitsLeft < n) [[unlikely]] {
            Refill();
            YAFA_CHECK(bitsLeft >= n, PackedDataEndsEarly);
        }
        // Two shifts so that n = 0 yields 0 without a 64-bit shift.
        value = static_cast<uint32_t>((bitBuffer >> 1) >> (63 - n));
        bitBuffer <<= n;
        bitsLeft -= n;
        return Status::Ok;
    }
};

constexpr uint32_t kFarBase = kS404FarBase;
constexpr uint32_t kMidBase = kS404MidBase;

// A far offset whose top `highBits` bits are `high`; the rest follow in the
// stream. Offsets live in 16 bits, so large values wrap.
inline Status ReadFarOffset(S404BitReader& reader, uint32_t high, int highBits, int offsetBits, uint32_t& offset) noexcept {
    uint32_t low;
    YAFA_TRY(reader.ReadBits(offsetBits - highBits, low));
    offset = ((((high << (offsetBits - highBits)) & 0xFFFF) | low) + kFarBase) & 0xFFFF;
    return Status::Ok;
}

// Copies `length` bytes down from dst + length - 1 to dst, each taken from
// `distance` bytes above, so short distances repeat the bytes just written.
inline void CopyDown(uint8_t* dst, size_t length, size_t distance) noexcept {
    if (distance >= length) {
        std::memcpy(dst, dst + distance, length);
    } else if (distance == 1) {
        std::memset(dst, dst[length], length);
    } else {
        // Chunks of `distance` bytes, top first: each reads the chunk above it,
        // which is complete by then.
        size_t top = length;
        while (top >= distance) {
            top -= distance;
            std::memcpy(dst + top, dst + top + distance, distance);
        }
        if (top) std::memcpy(dst, dst + distance, top);
    }
}

}  // namespace

Status DecodeS404(std::span<const uint8_t> packed, uint32_t packedEnd, std::span<uint8_t> output) noexcept {
    // An empty frame reads no bits at all.
    if (output.empty()) return Status::Ok;
    YAFA_CHECK(packedEnd >= 4 && uint64_t{packedEnd} + 2 <= packed.size(), S404LastWordOutsideData);

    const uint32_t offsetBitsWord = LoadU16BE(packed.data() + packedEnd - 4);
    YAFA_CHECK(offsetBitsWord >= kS404MinOffsetBits && offsetBitsWord <= kS404MaxOffsetBits, S404OffsetWidthInvalid);
    const int offsetBits = static_cast<int>(offsetBitsWord);

    S404BitReader reader;
    reader.Start(packed.data(), packedEnd);

    uint8_t* const base = output.data();
    const size_t total = output.size();
    size_t remaining = total;  // also the write position: bytes below it are still to come
    uint32_t code;
    uint32_t v;

    while (remaining > 0) {
        YAFA_TRY(reader.ReadBits(9, code));
        if (code < 256) {
            base[--remaining] = static_cast<uint8_t>(code);
            continue;
        }

        size_t length;
        uint32_t offset;
        if (code >= 384) {
            // Two- or three-byte match.
            length = (code & 0x40) ? 3 : 2;
            if (code & 0x20) {
                YAFA_TRY(ReadFarOffset(reader, code & 31, 5, offsetBits, offset));
            } else if (code & 0x10) {
                YAFA_TRY(reader.ReadBits(1, v));
                offset = ((code & 15) << 1) | v;
            } else {
                YAFA_TRY(reader.ReadBits(5, v));
                offset = (((code & 15) << 5) | v) + kMidBase;
            }
        } else if (code >= 320) {
            // Short match, 4..7 bytes.
            length = ((code >> 4) & 3) + 4;
            if (code & 8) {
                YAFA_TRY(ReadFarOffset(reader, code & 7, 3, offsetBits, offset));
            } else if (code & 4) {
                YAFA_TRY(reader.ReadBits(3, v));
                offset = ((code & 3) << 3) | v;
            } else {
                YAFA_TRY(reader.ReadBits(7, v));
                offset = (((code & 3) << 7) | v) + kMidBase;
            }
        } else if (code >= 318) {
            // Literal run, 14..45 bytes.
            YAFA_TRY(reader.ReadBits(4, v));
            const size_t count = (((code & 1) << 4) | v) + 14;
            YAFA_CHECK(count <= remaining, OutputOverrun);
            for (size_t i = 0; i < count; ++i) {
                YAFA_TRY(reader.ReadBits(8, v));
                base[--remaining] = static_cast<uint8_t>(v);
            }
            continue;
        } else if (code >= 288) {
            // Medium match, 8..22 bytes.
            length = ((code >> 1) & 15) + 8;
            if (code & 1) {
                YAFA_TRY(reader.ReadBits(offsetBits, v));
                offset = (v + kFarBase) & 0xFFFF;
            } else {
                uint32_t s;
                YAFA_TRY(reader.ReadBits(6, s));
                if (s & 0x20) {
                    offset = s & 31;
                } else {
                    YAFA_TRY(reader.ReadBits(4, v));
                    offset = (((s & 31) << 4) | v) + kMidBase;
                }
            }
        } else {
            // Long match: 23 bytes and up, extended by bytes while they read 255.
            YAFA_TRY(reader.ReadBits(3, v));
            v |= (code & 31) << 3;
            length = 23 + size_t{v};
            while (v == 255) {
                YAFA_CHECK(length <= remaining, OutputOverrun);
                YAFA_TRY(reader.ReadBits(8, v));
                length += v;
            }
            uint32_t s;
            YAFA_TRY(reader.ReadBits(7, s));
            if (s & 0x40) {
                YAFA_TRY(ReadFarOffset(reader, s & 63, 6, offsetBits, offset));
            } else if (s & 0x20) {
                offset = s & 31;
            } else {
                YAFA_TRY(reader.ReadBits(4, v));
                offset = (((s & 31) << 4) | v) + kMidBase;
            }
        }

        // The copy must stay in the output and read only bytes already made.
        YAFA_CHECK(length <= remaining, OutputOverrun);
        YAFA_CHECK(size_t{offset} + 1 <= total - remaining, BackReferenceBeforeStart);
        // The wide copy may store below the match, into bytes still to come;
        // near the buffer's start the exact one takes over.
        if (remaining - length >= kCopyOverrun)
            CopyMatchDown(base + remaining, size_t{offset} + 1, length);
        else
            CopyDown(base + remaining - length, length, size_t{offset} + 1);
        remaining -= length;
    }
    return Status::Ok;
}

Status UnpackS404(ByteSource& source, uint64_t storedLength, uint32_t maxUnpacked, UnpackedFrame& frame) noexcept {
    source.ReadU32BE();  // not used
    const uint32_t unpackedSize = source.ReadU32BE();
    const uint32_t packedEnd = source.ReadU32BE();
    YAFA_CHECK(unpackedSize <= maxUnpacked, FrameLargerThanGeometry);
    // An empty frame reads no bits, so its packed data does not matter.
    if (unpackedSize == 0) {
        frame.bytes.reset();
        frame.length = frame.held = 0;
        return Status::Ok;
    }
    // The stored length counts the tag and header too, so the packed data
    // read for the frame may run past it; only the bytes up to the last word
    // are used.
    YAFA_CHECK(packedEnd >= 4 && uint64_t{packedEnd} + 2 <= storedLength, S404LastWordOutsideData);
    YAFA_CHECK(unpackedSize <= S404_MAX_EXPANSION * packedEnd, UnpackedSizeBeyondPackedData);

    ReadBlock packed;
    YAFA_TRY(ReadAsTheyArrive(source, uint64_t{packedEnd} + 2, 0, &packed));
    YAFA_CHECK(packed.held == size_t{packedEnd} + 2, FileEndsInsideFrame);
    MallocBytes output = AllocBytes(unpackedSize);
    YAFA_CHECK(output, OutOfMemory);
    YAFA_TRY(DecodeS404(std::span<const uint8_t>(packed.bytes.get(), packed.held), packedEnd,
                        std::span<uint8_t>(output.get(), unpackedSize)));
    frame.bytes = std::move(output);
    frame.length = frame.held = unpackedSize;
    return Status::Ok;
}

}  // namespace yafa
