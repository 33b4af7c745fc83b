// The S404 stream: its header, its codes' length and offset classes, and how
// much output its packed data can make at most. The decoder and the packer
// both take these from here.
#pragma once

#include <cstdint>

namespace yafa {

inline constexpr uint8_t kS404Tag[4] = {'S', '4', '0', '4'};

// Behind the tag: a u32 that is not used, unpackedSize, packedEnd.
inline constexpr uint32_t kS404HeaderBytes = 12;

// Codes are 9 bits wide; offsets are reduced to 16 bits.
inline constexpr uint32_t kS404CodeBits = 9;
inline constexpr uint32_t kS404MidBase = 32;   // offsets below are near, 5 bits at most
inline constexpr uint32_t kS404FarBase = 544;  // offsets from here on are far: offsetBits bits + 544
inline constexpr uint32_t kS404MinOffsetBits = 6;
inline constexpr uint32_t kS404MaxOffsetBits = 16;

// Lengths of each code class.
inline constexpr uint32_t kS404MinRun = 14;  // literal runs, codes 318 and 319
inline constexpr uint32_t kS404MaxRun = 45;
inline constexpr uint32_t kS404MinMedium = 8;  // codes 288..317
inline constexpr uint32_t kS404MaxMedium = 22;
inline constexpr uint32_t kS404MinLong = 23;        // codes 256..287: 23 + an 8-bit value,
inline constexpr uint32_t kS404LongStepBits = 8;    // extended by further 8-bit fields
inline constexpr uint32_t kS404LongStepMax = 255;   // while the last one read 255

// Most output bytes per byte of packed data. Each 8-bit extension field of
// a long match adds up to 255 bytes; every other code makes far less per
// bit it takes, as the asserts below show for the shortest form of each.
inline constexpr uint64_t S404_MAX_EXPANSION = uint64_t{kS404LongStepMax} * 8 / kS404LongStepBits;

namespace s404_detail {
// Bytes made per bit read, times the bits per byte, for a code class.
constexpr bool Below(uint64_t bytes, uint64_t bits) { return bytes * 8 <= S404_MAX_EXPANSION * bits; }
static_assert(Below(1, kS404CodeBits));                                            // literal
static_assert(Below(kS404MaxRun, kS404CodeBits + 4 + 8 * kS404MaxRun));             // literal run
static_assert(Below(3, kS404CodeBits + 1));                                         // two- or three-byte match
static_assert(Below(7, kS404CodeBits + 3));                                         // short match
static_assert(Below(kS404MaxMedium, kS404CodeBits + 6));                            // medium match
static_assert(Below(kS404MinLong + kS404LongStepMax, kS404CodeBits + 3 + 7));       // long match, no extension
// Each extension field adds exactly the ratio's worth, so a long match with
// any number of them stays below it too.
static_assert(kS404LongStepMax * 8 == S404_MAX_EXPANSION * kS404LongStepBits);
}  // namespace s404_detail

}  // namespace yafa
