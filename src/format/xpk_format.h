// The XPK container: its header, chunk types and flag bits, the room the
// reader keeps behind every chunk, and the FAST method's constants. The
// reader, the writer and the tool take them from here.
#pragma once

#include <cstdint>

namespace yafa {

inline constexpr uint8_t kXpkTag[4] = {'X', 'P', 'K', 'F'};

// The stream header, counted from the first byte of the tag: a u32 that is
// not used, the method tag, a u32 that is not used, 16 bytes, the flags
// byte and 3 more bytes; then, with XPK_FLAG_EXTRA_HEADER, a u16 length and
// that many bytes.
inline constexpr uint32_t kXpkHeaderBytes = 36;
inline constexpr uint32_t kXpkMethodTagOffset = 8;
inline constexpr uint32_t kXpkFlagsOffset = 32;

enum : uint8_t {
    XPK_FLAG_LONG_HEADERS = 1,  // chunk lengths are u32 (12-byte chunk headers), else u16 (8 bytes)
    XPK_FLAG_EXTRA_HEADER = 4,
};

enum : uint8_t { XPK_CHUNK_RAW = 0, XPK_CHUNK_PACKED = 1, XPK_CHUNK_END = 15 };

enum class XpkMethod : uint8_t { Fast, Nuke, Rake };
inline constexpr char kXpkMethodTags[3][5] = {"FAST", "NUKE", "RAKE"};

// Room the reader keeps behind every chunk's end in the stream's output
// buffer. Methods may write into it, never beyond it.
inline constexpr uint32_t XPK_OUTPUT_SLACK = 16384;

// A chunk's body is its packed length taken up to a multiple of 4.
constexpr uint64_t XpkPaddedLength(uint64_t packedLength) noexcept { return (packedLength + 3) & ~uint64_t{3}; }

// FAST: 16 tokens per control word, each a literal byte or a copy of 3..18
// bytes from up to 4095 bytes back, its distance and length in one match word.
inline constexpr uint32_t kFastTokensPerControl = 16;
inline constexpr uint32_t kFastMinMatch = 3;
inline constexpr uint32_t kFastMaxMatch = 18;
inline constexpr uint32_t kFastMaxDistance = 4095;
inline constexpr uint32_t kFastMatchWordBytes = 2;

// Most output bytes per byte of a FAST payload. Match words come from one
// end and literals from the other: a payload of n bytes holds at most n / 2
// match words of 18 bytes each and n literals.
inline constexpr uint64_t FAST_MAX_EXPANSION = kFastMaxMatch / kFastMatchWordBytes + 1;

// A raw chunk: its bytes are the output.
inline constexpr uint64_t XPK_RAW_MAX_EXPANSION = 1;

}  // namespace yafa
