// The RAKE method: the payload header, the distance classes, RakeLengthCode
// (the fixed prefix code that carries match counts) and the lookup tables
// that decode it, and how much output a payload can make at most. The
// decoder and the packer take them from here. Everything is built at compile
// time; the static_asserts below prove the code complete and prefix-free and
// an item no longer than the decoder's 32-bit window.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace yafa {

// `length` bits, the first one the most significant bit of `bits`.
struct RakeCodeword {
    uint32_t bits;
    uint32_t length;
};

constexpr uint32_t RAKE_MIN_COUNT = 3;
constexpr uint32_t RAKE_MAX_COUNT = 257;
constexpr uint32_t RAKE_MAX_CODE_LENGTH = 19;

// Payload header: skipBits (u16, at most 32) and byteStreamEnd (u16, at
// least 5: one byte per item from offset 4 up).
inline constexpr uint32_t kRakeHeaderBytes = 4;
inline constexpr uint32_t kRakeMaxSkipBits = 32;

// Distance classes: class bits, then that many high bits; the distance is
// base + high × 256 + the item's byte.
struct RakeDistanceClass {
    uint32_t classBits;
    uint32_t highBits;
    uint32_t base;
};
inline constexpr RakeDistanceClass kRakeClasses[3] = {{1, 0, 1}, {2, 3, 257}, {2, 6, 2305}};
inline constexpr uint32_t RAKE_MAX_DISTANCE = 2305 + (63u << 8) + 255;

// The longest item: the match flag, the longest codeword (the asserts at the
// end prove every codeword within RAKE_MAX_CODE_LENGTH), the longest class.
inline constexpr uint32_t RAKE_MAX_ITEM_BITS = [] {
    uint32_t longestClass = 0;
    for (const RakeDistanceClass& c : kRakeClasses) longestClass = std::max(longestClass, c.classBits + c.highBits);
    return 1 + RAKE_MAX_CODE_LENGTH + longestClass;
}();
// The decoder sees each item whole in a 32-bit window and advances the
// window once per item, by at most 28 bits.
static_assert(RAKE_MAX_ITEM_BITS <= 28);

// Most output bytes per payload byte: each item takes one byte-stream byte
// and makes at most RAKE_MAX_COUNT bytes.
inline constexpr uint64_t RAKE_MAX_EXPANSION = RAKE_MAX_COUNT;

// Indexed by count - RAKE_MIN_COUNT. The order is not canonical and the
// codewords are fixed by the format, so they are listed, not derived.
inline constexpr std::array<RakeCodeword, RAKE_MAX_COUNT - RAKE_MIN_COUNT + 1> RakeLengthCode = {{
    /*   3 */ {0b0, 1}, {0b111, 3}, {0b100, 3},
    /*   6 */ {0b1011, 4}, {0b10100, 5}, {0b11001, 5},
    /*   9 */ {0b110101, 6}, {0b110000, 6}, {0b101010, 6},
    /*  12 */ {0b1101001, 7}, {0b1100011, 7}, {0b1010110, 7},
    /*  15 */ {0b1101110, 7}, {0b11011011, 8}, {0b10101111, 8},
    /*  18 */ {0b11011001, 8}, {0b11000101, 8}, {0b110110100, 9},
    /*  21 */ {0b101011100, 9}, {0b110111101, 9}, {0b110110000, 9},
    /*  24 */ {0b110001001, 9}, {0b110100010, 9}, {0b1101000010, 10},
    /*  27 */ {0b1101000000, 10}, {0b1101000001, 10}, {0b1101100011, 10},
    /*  30 */ {0b1100010000, 10}, {0b1101000110, 10}, {0b1101111111, 10},
    /*  33 */ {0b1101111000, 10}, {0b11011000100, 11}, {0b10101110110, 11},
    /*  36 */ {0b11011111000, 11}, {0b11011010111, 11}, {0b11011000101, 11},
    /*  39 */ {0b11011111010, 11}, {0b11010000110, 11}, {0b110001000100, 12},
    /*  42 */ {0b110110101101, 12}, {0b110111100101, 12}, {0b110111100111, 12},
    /*  45 */ {0b110111111001, 12}, {0b110100011110, 12}, {0b110111111010, 12},
    /*  48 */ {0b110110101010, 12}, {0b110111110010, 12}, {0b110001000110, 12},
    /*  51 */ {0b101011101110, 12}, {0b110001000111, 12}, {0b110110101000, 12},
    /*  54 */ {0b101011101000, 12}, {0b110111111011, 12}, {0b1010111010011, 13},
    /*  57 */ {0b1101101010011, 13}, {0b1010111011110, 13}, {0b1010111010100, 13},
    /*  60 */ {0b1100010001011, 13}, {0b1101000111110, 13}, {0b1101000011111, 13},
    /*  63 */ {0b1010111011111, 13}, {0b1101111001100, 13}, {0b1101111110000, 13},
    /*  66 */ {0b1101111101101, 13}, {0b1101000111010, 13}, {0b1100010001010, 13},
    /*  69 */ {0b1101111101110, 13}, {0b1101111101111, 13}, {0b1101000011110, 13},
    /*  72 */ {0b1101111100111, 13}, {0b1101111001000, 13}, {0b1010111010101, 13},
    /*  75 */ {0b10101110101100, 14}, {0b11011110011011, 14}, {0b11011010100100, 14},
    /*  78 */ {0b11011010110010, 14}, {0b11010000111010, 14}, {0b11011010110011, 14},
    /*  81 */ {0b11010000111011, 14}, {0b10101110101101, 14}, {0b110111110011010, 15},
    /*  84 */ {0b110111110110011, 15}, {0b110110101001010, 15}, {0b110110101100001, 15},
    /*  87 */ {0b110100011111101, 15}, {0b101011101011111, 15}, {0b110110101100010, 15},
    /*  90 */ {0b110111100100101, 15}, {0b110111100100110, 15}, {0b110111100100111, 15},
    /*  93 */ {0b110111110110001, 15}, {0b110111111000100, 15}, {0b110100001110011, 15},
    /*  96 */ {0b101011101011101, 15}, {0b110111100110100, 15}, {0b110100011111110, 15},
    /*  99 */ {0b110111110110010, 15}, {0b101011101011100, 15}, {0b110100011101101, 15},
    /* 102 */ {0b110111100100100, 15}, {0b1101111100110011, 16}, {0b1101101011000001, 16},
    /* 105 */ {0b1101111100110001, 16}, {0b1101101011000111, 16}, {0b1101111100110010, 16},
    /* 108 */ {0b1101111100110111, 16}, {0b1101101011000110, 16}, {0b1010111010010101, 16},
    /* 111 */ {0b1101111110001111, 16}, {0b1101111101100001, 16}, {0b1010111010111100, 16},
    /* 114 */ {0b1101111001101011, 16}, {0b1101000111011110, 16}, {0b1101111101100000, 16},
    /* 117 */ {0b1101000011100011, 16}, {0b1101000111111110, 16}, {0b1101000111111001, 16},
    /* 120 */ {0b1101000111011101, 16}, {0b1101000111011001, 16}, {0b1101111100110110, 16},
    /* 123 */ {0b1010111010010001, 16}, {0b1101000111111000, 16}, {0b1010111010010111, 16},
    /* 126 */ {0b1101000111011100, 16}, {0b1101000111011111, 16}, {0b1101111100110000, 16},
    /* 129 */ {0b11010000111001000, 17}, {0b11011111100010101, 17}, {0b11010000111001001, 17},
    /* 132 */ {0b10101110100101001, 17}, {0b10101110101111010, 17}, {0b11010000111001010, 17},
    /* 135 */ {0b11010000111001011, 17}, {0b11011111100011000, 17}, {0b10101110101111011, 17},
    /* 138 */ {0b11011010100101110, 17}, {0b11011111100011001, 17}, {0b10101110100101000, 17},
    /* 141 */ {0b11011111100010111, 17}, {0b11010001110110000, 17}, {0b11011111100010110, 17},
    /* 144 */ {0b11011110011010100, 17}, {0b11011111100011011, 17}, {0b11011111100011100, 17},
    /* 147 */ {0b11011111100011101, 17}, {0b10101110100100111, 17}, {0b11011111100010100, 17},
    /* 150 */ {0b10101110100101100, 17}, {0b11011010101101111, 17}, {0b11011010101110100, 17},
    /* 153 */ {0b11011111100011010, 17}, {0b11010000111000000, 17}, {0b11010000111000001, 17},
    /* 156 */ {0b11011010101100100, 17}, {0b11010000111000010, 17}, {0b11011010101111000, 17},
    /* 159 */ {0b11011010101111001, 17}, {0b11010000111000011, 17}, {0b11010000111000100, 17},
    /* 162 */ {0b11011010101111011, 17}, {0b11011010101111100, 17}, {0b11011010101111101, 17},
    /* 165 */ {0b11011010101111110, 17}, {0b11010001111111110, 17}, {0b11011010101111111, 17},
    /* 168 */ {0b11010000111000101, 17}, {0b11011010110000001, 17}, {0b10101110100100110, 17},
    /* 171 */ {0b110111100110101011, 18}, {0b110100011101100010, 18}, {0b110100011111111110, 18},
    /* 174 */ {0b110100011111111111, 18}, {0b110110101001011001, 18}, {0b110110101001011011, 18},
    /* 177 */ {0b110110101001011110, 18}, {0b110110101011000000, 18}, {0b110110101011000001, 18},
    /* 180 */ {0b110110101011000011, 18}, {0b110110101011000100, 18}, {0b110110101011000111, 18},
    /* 183 */ {0b110110101011001010, 18}, {0b110110101011001011, 18}, {0b110110101011001100, 18},
    /* 186 */ {0b110110101011001110, 18}, {0b110110101011010001, 18}, {0b110111100110101010, 18},
    /* 189 */ {0b110110101011010011, 18}, {0b110110101011010100, 18}, {0b110110101011010110, 18},
    /* 192 */ {0b110110101011010111, 18}, {0b110110101011011001, 18}, {0b101011101001000000, 18},
    /* 195 */ {0b110110101011011010, 18}, {0b101011101001000001, 18}, {0b101011101001000010, 18},
    /* 198 */ {0b110110101011011100, 18}, {0b110110101011011101, 18}, {0b101011101001000011, 18},
    /* 201 */ {0b101011101001001000, 18}, {0b110110101011100000, 18}, {0b110110101011100001, 18},
    /* 204 */ {0b101011101001011011, 18}, {0b110110101011100011, 18}, {0b110110101011100100, 18},
    /* 207 */ {0b110110101011100110, 18}, {0b110110101011100111, 18}, {0b110110101011101010, 18},
    /* 210 */ {0b110110101011101011, 18}, {0b110110101011101101, 18}, {0b110110101011101110, 18},
    /* 213 */ {0b110110101011101111, 18}, {0b110110101011110100, 18}, {0b110110101011110101, 18},
    /* 216 */ {0b101011101001001001, 18}, {0b101011101001001010, 18}, {0b101011101001001011, 18},
    /* 219 */ {0b110110101100000001, 18}, {0b101011101001011010, 18}, {0b1101000111011000110, 19},
    /* 222 */ {0b1101000111011000111, 19}, {0b1101101010010110000, 19}, {0b1101101010010110001, 19},
    /* 225 */ {0b1101101010010110100, 19}, {0b1101101010010110101, 19}, {0b1101101010010111110, 19},
    /* 228 */ {0b1101101010010111111, 19}, {0b1101101010110000100, 19}, {0b1101101010110000101, 19},
    /* 231 */ {0b1101101010110001010, 19}, {0b1101101010110001011, 19}, {0b1101101010110001100, 19},
    /* 234 */ {0b1101101010110001101, 19}, {0b1101101010110011010, 19}, {0b1101101010110011011, 19},
    /* 237 */ {0b1101101010110011110, 19}, {0b1101101010110011111, 19}, {0b1101101010110100000, 19},
    /* 240 */ {0b1101101010110100001, 19}, {0b1101101010110100100, 19}, {0b1101101010110100101, 19},
    /* 243 */ {0b1101101010110101010, 19}, {0b1101101010110101011, 19}, {0b1101101010110110000, 19},
    /* 246 */ {0b1101101010110110001, 19}, {0b1101101010110110110, 19}, {0b1101101010110110111, 19},
    /* 249 */ {0b1101101010111000100, 19}, {0b1101101010111000101, 19}, {0b1101101010111001010, 19},
    /* 252 */ {0b1101101010111001011, 19}, {0b1101101010111011000, 19}, {0b1101101010111011001, 19},
    /* 255 */ {0b1101101011000000000, 19}, {0b1101101011000000001, 19}, {0b110100011100, 12},
}};

// One lookup result. A leaf gives the count and its codeword length; a link
// sends the lookup on to a subtable that the next `length` bits index.
struct RakeCodeEntry {
    uint16_t value;  // leaf: count; link: first entry of the subtable
    uint8_t length;  // leaf: codeword length; link: subtable index bits; 0: unused
    uint8_t link;
};

// Codewords up to this length resolve in the root table; the rest (counts
// above 33 mostly, which are rare) take one more lookup.
constexpr uint32_t RAKE_ROOT_BITS = 10;

namespace rake_code_detail {

constexpr uint32_t RootIndexOf(const RakeCodeword& c) {
    return c.bits >> (c.length - RAKE_ROOT_BITS);
}

// Index bits of the subtable under each root entry (0: none).
constexpr std::array<uint8_t, size_t{1} << RAKE_ROOT_BITS> kSubtableBits = [] {
    std::array<uint8_t, size_t{1} << RAKE_ROOT_BITS> bits{};
    for (const RakeCodeword& c : RakeLengthCode) {
        if (c.length <= RAKE_ROOT_BITS) continue;
        const uint32_t need = c.length - RAKE_ROOT_BITS;
        uint8_t& b = bits[RootIndexOf(c)];
        if (need > b) b = static_cast<uint8_t>(need);
    }
    return bits;
}();

constexpr size_t kSubtableEntries = [] {
    size_t total = 0;
    for (uint8_t b : kSubtableBits) total += b ? size_t{1} << b : 0;
    return total;
}();

struct Tables {
    std::array<RakeCodeEntry, size_t{1} << RAKE_ROOT_BITS> root;
    std::array<RakeCodeEntry, kSubtableEntries> sub;
};

constexpr Tables BuildTables() {
    Tables t{};
    uint32_t next = 0;
    for (size_t r = 0; r < t.root.size(); ++r) {
        if (kSubtableBits[r] == 0) continue;
        t.root[r] = {static_cast<uint16_t>(next), kSubtableBits[r], 1};
        next += uint32_t{1} << kSubtableBits[r];
    }
    for (uint32_t i = 0; i < RakeLengthCode.size(); ++i) {
        const RakeCodeword c = RakeLengthCode[i];
        const RakeCodeEntry leaf{static_cast<uint16_t>(RAKE_MIN_COUNT + i), static_cast<uint8_t>(c.length), 0};
        if (c.length <= RAKE_ROOT_BITS) {
            // Every index that starts with the codeword.
            const uint32_t spare = RAKE_ROOT_BITS - c.length;
            for (uint32_t k = 0; k < (uint32_t{1} << spare); ++k) t.root[(c.bits << spare) | k] = leaf;
        } else {
            const RakeCodeEntry link = t.root[RootIndexOf(c)];
            const uint32_t rest = c.length - RAKE_ROOT_BITS;
            const uint32_t spare = link.length - rest;
            const uint32_t low = c.bits & ((uint32_t{1} << rest) - 1);
            for (uint32_t k = 0; k < (uint32_t{1} << spare); ++k) t.sub[link.value + ((low << spare) | k)] = leaf;
        }
    }
    return t;
}

inline constexpr Tables kTables = BuildTables();

}  // namespace rake_code_detail

// Decodes the codeword at the top of `bits` (first bit most significant):
// the count and the codeword length. Every 32-bit value starts with exactly
// one codeword, so there is no invalid input.
constexpr RakeCodeEntry RakeDecodeCount(uint32_t bits) noexcept {
    RakeCodeEntry e = rake_code_detail::kTables.root[bits >> (32 - RAKE_ROOT_BITS)];
    if (e.link) e = rake_code_detail::kTables.sub[e.value + ((bits << RAKE_ROOT_BITS) >> (32 - e.length))];
    return e;
}

namespace rake_code_detail {

constexpr bool CodewordsWellFormed() {
    for (const RakeCodeword& c : RakeLengthCode)
        if (c.length < 1 || c.length > RAKE_MAX_CODE_LENGTH || (c.bits >> c.length) != 0) return false;
    return true;
}

// Kraft sum exactly 1: together with prefix-freedom, every string of
// RAKE_MAX_CODE_LENGTH bits starts with exactly one codeword.
constexpr bool KraftSumIsOne() {
    uint64_t sum = 0;
    for (const RakeCodeword& c : RakeLengthCode) sum += uint64_t{1} << (RAKE_MAX_CODE_LENGTH - c.length);
    return sum == uint64_t{1} << RAKE_MAX_CODE_LENGTH;
}

constexpr bool PrefixFree() {
    for (const RakeCodeword& a : RakeLengthCode)
        for (const RakeCodeword& b : RakeLengthCode)
            if (&a != &b && a.length <= b.length && (b.bits >> (b.length - a.length)) == a.bits) return false;
    return true;
}

// Codeword lengths by count, as runs: counts up to `last` have `length` bits.
constexpr bool LengthsByCount() {
    constexpr struct {
        uint32_t last, length;
    } kRuns[] = {{3, 1},    {5, 3},    {6, 4},    {8, 5},    {11, 6},   {15, 7},   {19, 8},
                 {25, 9},   {33, 10},  {40, 11},  {55, 12},  {74, 13},  {82, 14},  {102, 15},
                 {128, 16}, {170, 17}, {220, 18}, {256, 19}, {257, 12}};
    uint32_t count = RAKE_MIN_COUNT;
    for (const auto& run : kRuns)
        for (; count <= run.last; ++count)
            if (RakeLengthCode[count - RAKE_MIN_COUNT].length != run.length) return false;
    return count == RAKE_MAX_COUNT + 1;
}

// Each codeword decodes to its own count and length, whatever follows it.
constexpr bool TablesDecodeEveryCodeword() {
    for (const RakeCodeEntry& e : kTables.root)
        if (e.length == 0) return false;
    for (const RakeCodeEntry& e : kTables.sub)
        if (e.length == 0 || e.link) return false;
    for (uint32_t i = 0; i < RakeLengthCode.size(); ++i) {
        const RakeCodeword c = RakeLengthCode[i];
        const uint32_t top = c.bits << (32 - c.length);
        const uint32_t tail = c.length == 32 ? 0 : ~uint32_t{0} >> c.length;
        for (const uint32_t bits : {top, top | tail}) {
            const RakeCodeEntry e = RakeDecodeCount(bits);
            if (e.link || e.value != RAKE_MIN_COUNT + i || e.length != c.length) return false;
        }
    }
    return true;
}

static_assert(CodewordsWellFormed());
static_assert(KraftSumIsOne());
static_assert(PrefixFree());
static_assert(LengthsByCount());
static_assert(TablesDecodeEveryCodeword());

}  // namespace rake_code_detail

}  // namespace yafa
