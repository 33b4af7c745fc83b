// The NUKE method's distance codes and how much output its packed data can
// make at most. The decoder and the packer take them from here.
#pragma once

#include <array>
#include <cstdint>

namespace yafa {

// A copy's nibble s selects its distance field width, the field's base and
// the copy length (0: long, its length follows as a pair and nibbles). The
// bases make each length class's distances contiguous.
struct NukeDistanceCode {
    uint16_t bits;
    uint16_t base;
    uint16_t length;
};

inline constexpr std::array<NukeDistanceCode, 16> kNukeDistanceCodes = {{
    {4, 0, 2},    {6, 16, 2},     {8, 80, 2},   {9, 336, 2},   {4, 0, 3},     {7, 16, 3},
    {9, 144, 3},  {11, 656, 3},   {13, 2704, 3}, {14, 10896, 3}, {5, 0, 0},     {7, 32, 0},
    {9, 160, 0},  {11, 672, 0},   {13, 2720, 0}, {14, 10912, 0},
}};
static_assert(sizeof(kNukeDistanceCodes) == 96);

// The distance-bit reader keeps its unread bits in a 32-bit word and takes
// a 16-bit word only when a field needs more bits than remain: that holds
// for fields of up to 16 bits with nothing lost, and the decoder relies on
// the table staying within 14.
inline constexpr uint32_t kNukeMaxDistanceBits = 14;

// Long copies: 7 - v bytes for a length pair v of 1..3; for v = 0, 6 bytes,
// then 15 more per zero nibble and 16 - n for the closing nibble n.
inline constexpr uint32_t kNukeLongBase = 6;
inline constexpr uint32_t kNukeNibbleStep = 15;

// The largest distance of each copy length: 2 bytes, 3 bytes, 4 and more.
inline constexpr uint32_t kNukeMaxDistance2 = 847;
inline constexpr uint32_t kNukeMaxDistance3 = 27279;
inline constexpr uint32_t kNukeMaxDistance = 27295;

// Most output bytes per byte of a NUKE payload: a zero nibble adds 15 bytes
// for 4 bits, and no code makes more per bit; literals take a byte each.
inline constexpr uint64_t NUKE_MAX_EXPANSION = kNukeNibbleStep * 8 / 4;

namespace nuke_detail {
constexpr bool TableKeepsItsPromises() {
    uint32_t next[3] = {0, 0, 0};  // the next base of each length class
    for (const NukeDistanceCode& c : kNukeDistanceCodes) {
        if (c.bits > kNukeMaxDistanceBits) return false;
        const int cls = c.length == 2 ? 0 : c.length == 3 ? 1 : c.length == 0 ? 2 : -1;
        if (cls < 0 || c.base != next[cls]) return false;
        next[cls] = c.base + (1u << c.bits);
    }
    return next[0] - 1 == kNukeMaxDistance2 && next[1] - 1 == kNukeMaxDistance3 && next[2] - 1 == kNukeMaxDistance;
}
static_assert(TableKeepsItsPromises());
// The longest copy without zero nibbles, 21 bytes, takes a token bit, a
// 4-bit code, at least 4 distance bits, a pair and a nibble; each zero
// nibble then adds exactly the ratio's worth.
static_assert((kNukeLongBase + 15) * 8 <= NUKE_MAX_EXPANSION * (1 + 4 + 4 + 2 + 4));
}  // namespace nuke_detail

}  // namespace yafa
