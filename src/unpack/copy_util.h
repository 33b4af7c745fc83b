// Match copies for the LZ decoders. Each gives the same bytes as a
// byte-at-a-time loop (so a distance below the length repeats the last
// `distance` bytes) but moves 8 to 32 bytes per step; a distance below 32
// is a pattern, read once and then stored over and over. To do so they may
// store a few bytes beyond the match's far end, the overrun: the caller keeps
// that much room inside its buffer, and later output overwrites those bytes.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace yafa {

// Most bytes a copy may store beyond its far end.
constexpr size_t kCopyOverrun = 31;

namespace copy_detail {

inline uint64_t Load8(const uint8_t* p) noexcept {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

inline void Store8(uint8_t* p, uint64_t v) noexcept { std::memcpy(p, &v, 8); }

inline void Copy8(uint8_t* dst, const uint8_t* src) noexcept { Store8(dst, Load8(src)); }

inline void Copy16(uint8_t* dst, const uint8_t* src) noexcept {
    uint8_t block[16];
    std::memcpy(block, src, 16);
    std::memcpy(dst, block, 16);
}

// For a pattern of d bytes (1..7): the mask of its bytes, the multiplier
// that repeats it across a 64-bit word, and the largest multiple of d that
// fits in 8 bytes, by which the repeated word can step and stay in phase.
// Index 8 of the first two stands for distances of 8 and more, whose bytes
// are taken whole.
constexpr uint64_t kPatternMask[9] = {0,           0xFFu,           0xFFFFu,           0xFFFFFFu, 0xFFFFFFFFu,
                                      0xFFFFFFFFFFu, 0xFFFFFFFFFFFFu, 0xFFFFFFFFFFFFFFu, ~uint64_t{0}};
constexpr uint64_t kRepeat[9] = {0,
                                 0x0101010101010101u,
                                 0x0001000100010001u,
                                 0x0001000001000001u,
                                 0x0000000100000001u,
                                 0x0000010000000001u,
                                 0x0001000000000001u,
                                 0x0100000000000001u,
                                 1};
constexpr uint8_t kStep[8] = {0, 8, 8, 6, 8, 5, 6, 7};
// (-8) mod d: the pattern byte that starts the 8 bytes just below it.
constexpr uint8_t kDownPhase[8] = {0, 0, 0, 1, 0, 2, 4, 6};

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

}  // namespace copy_detail

// Writes dst[0, length), lowest address first, each byte taken from
// `distance` bytes below it. Needs distance >= 1, length >= 1, and room for
// dst[length, length + kCopyOverrun). Reads only dst[-distance, length +
// kCopyOverrun - distance); of the bytes at dst and above, only those the
// copy has already written count.
[[gnu::always_inline]] inline void CopyMatchUp(uint8_t* dst, size_t distance, size_t length) noexcept {
    using namespace copy_detail;
    const uint8_t* src = dst - distance;
    if constexpr (kLittleEndian) {
        // The first 8 bytes without a branch on the distance: below 8 the
        // pattern of `distance` bytes repeated, from 8 on the bytes as they
        // are. Short matches end here.
        const size_t d = distance < 8 ? distance : 8;
        const uint64_t word = (Load8(src) & kPatternMask[d]) * kRepeat[d];
        Store8(dst, word);
        if (length <= 8) return;
        if (distance >= 32) {
            // Each pair of blocks reads 32 bytes ending at or below its own
            // start.
            size_t i = 8;
            do {
                Copy16(dst + i, src + i);
                Copy16(dst + i + 16, src + i + 16);
                i += 32;
            } while (i < length);
        } else if (distance >= 16) {
            // The pattern of `distance` bytes as two overlapping 16-byte
            // blocks, both read from below dst before anything is stored
            // (a load of bytes just stored at another offset is slow).
            uint8_t head[16], tail[16];
            std::memcpy(head, src, 16);
            std::memcpy(tail, src + distance - 16, 16);
            size_t i = 0;
            do {
                std::memcpy(dst + i, head, 16);
                std::memcpy(dst + i + distance - 16, tail, 16);
                i += distance;
            } while (i < length);
        } else if (distance >= 8) {
            // The same with two 8-byte blocks.
            const uint64_t head = word;
            const uint64_t tail = Load8(src + distance - 8);
            Store8(dst + distance - 8, tail);
            size_t i = distance;
            while (i < length) {
                Store8(dst + i, head);
                Store8(dst + i + distance - 8, tail);
                i += distance;
            }
        } else {
            // The repeated pattern stays in phase at every multiple of its
            // length.
            const size_t step = kStep[distance];
            size_t i = step;
            do {
                Store8(dst + i, word);
                i += step;
            } while (i < length);
        }
    } else {
        for (size_t i = 0; i < length; ++i) dst[i] = src[i];
    }
}

// Writes top[-length, 0), highest address first, each byte taken from
// `distance` bytes above it. Needs distance >= 1, length >= 1, the bytes
// top[0, distance) already final, and room for top[-length - kCopyOverrun,
// -length). Reads only top[-length - kCopyOverrun, distance); of the bytes
// below top, only those the copy has already written count.
[[gnu::always_inline]] inline void CopyMatchDown(uint8_t* top, size_t distance, size_t length) noexcept {
    using namespace copy_detail;
    if (distance >= 32) {
        // Each pair of blocks reads 32 bytes starting at or above its own
        // end.
        size_t i = 32;
        for (;;) {
            Copy16(top - i + 16, top - i + 16 + distance);
            Copy16(top - i, top - i + distance);
            if (i >= length) break;
            i += 32;
        }
    } else if (distance >= 16) {
        // The pattern top[0, distance) as two overlapping 16-byte blocks,
        // both read before anything is stored (a load of bytes just stored
        // at another offset is slow), then stored at every multiple of its
        // length further down.
        uint8_t head[16], tail[16];
        std::memcpy(head, top, 16);
        std::memcpy(tail, top + distance - 16, 16);
        size_t i = distance;
        for (;;) {
            std::memcpy(top - i, head, 16);
            std::memcpy(top - i + distance - 16, tail, 16);
            if (i >= length) break;
            i += distance;
        }
    } else if (distance >= 8) {
        // The same with two 8-byte blocks.
        const uint64_t head = Load8(top);
        const uint64_t tail = Load8(top + distance - 8);
        size_t i = distance;
        for (;;) {
            Store8(top - i, head);
            Store8(top - i + distance - 8, tail);
            if (i >= length) break;
            i += distance;
        }
    } else if constexpr (kLittleEndian) {
        // The pattern is top[0, distance); the word for top[-8, 0) starts at
        // its byte (-8 mod distance), and every multiple of the pattern
        // length further down takes the same word.
        const uint64_t pattern = Load8(top + distance - 8) >> (8 * (8 - distance));
        const size_t phase = kDownPhase[distance];
        const uint64_t rotated = (pattern >> (8 * phase)) | (pattern << (8 * (distance - phase)));
        const uint64_t word = (rotated & kPatternMask[distance]) * kRepeat[distance];
        const size_t step = kStep[distance];
        size_t i = 8;
        for (;;) {
            Store8(top - i, word);
            if (i >= length) break;
            i += step;
        }
    } else {
        for (size_t i = 1; i <= length; ++i) top[-static_cast<ptrdiff_t>(i)] = top[distance - i];
    }
}

}  // namespace yafa
