// Builds YAFA files for the plugin tests byte by byte: IFF chunks with
// arbitrary ids and size fields, the parser's chunks, raw frames, bitplane
// packing, palette tails.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <tuple>
#include <string_view>
#include <vector>

namespace yafa::test {

using Bytes = std::vector<uint8_t>;

enum : uint16_t { kHam = 1, kFramePalette = 2, kDelta = 4, kDeltaFrom0 = 64 };

void PutU16(Bytes& out, uint32_t value);
void PutU32(Bytes& out, uint32_t value);
void Append(Bytes& out, std::span<const uint8_t> more);
Bytes Cat(std::initializer_list<Bytes> parts);

// The seven INFO words.
struct Info {
    uint16_t width = 0, height = 0, depth = 0, defaultDelay = 0, frameCount = 0, frameFormat = 0, flags = 0;
};

// Id, size field, data, and a pad byte when the data length is odd.
Bytes Chunk(std::string_view id, std::span<const uint8_t> data);
// Id and an explicit size field followed by exactly `data`: no pad.
Bytes RawChunk(std::string_view id, uint32_t sizeField, std::span<const uint8_t> data);

Bytes InfoChunk(const Info& info, std::optional<uint32_t> sizeField = std::nullopt);
Bytes ProfChunk(std::span<const uint32_t> ends, std::optional<uint32_t> sizeField = std::nullopt);
Bytes TtblChunk(std::span<const uint16_t> ticks, std::optional<uint32_t> sizeField = std::nullopt);
// count (defaults to colours.size()), 2 spare bytes, 12 bytes per colour, then
// `extra` bytes; the size field covers all of it unless given. No pad.
Bytes DrgbChunk(std::span<const uint32_t> colours, size_t extra = 0, std::optional<uint32_t> sizeField = std::nullopt,
                std::optional<uint16_t> count = std::nullopt);
// BODY header and the frames back to back.
Bytes BodyChunk(std::span<const Bytes> frames);

// "FORM", size, "YAFA", then the chunks.
Bytes Form(std::initializer_list<Bytes> chunks);

// PROF entries for frames stored back to back.
std::vector<uint32_t> FrameEnds(std::span<const Bytes> frames);

// A complete file: INFO, optional DRGB, optional PROF, optional TTBL, BODY.
struct AnimRecipe {
    Info info;
    std::vector<Bytes> frames;
    std::vector<uint32_t> palette;  // no DRGB when empty
    bool prof = true;
    std::vector<uint16_t> ttbl;  // no TTBL when empty
};
Bytes BuildAnim(const AnimRecipe& recipe);

// Bitplanes of a one-byte-per-pixel image, plane 0 first. Bits past the width
// are set, since a decoder must never read them.
Bytes PackPlanar(std::span<const uint8_t> pixels, int width, int height, int depth);

// 4 unread bytes, red/green/blue u32 per colour (junk in the low bytes), 4
// unread bytes.
Bytes PaletteTail(std::span<const uint32_t> colours);

// `count` pixel values below 2^bits.
Bytes RandomPixels(size_t count, int bits, std::mt19937& rng);

// An XPK stream header ("XPKF", junk, method, junk, flags, junk) with junk in
// every field the reader ignores; flags bit 2 adds the extra header.
Bytes XpkHeader(const char* method, uint8_t flags, const Bytes& extra = {});
// Appends a chunk header (short or long lengths) and `body` exactly as given.
void AddXpkChunk(Bytes& s, uint8_t type, uint32_t pl, uint32_t ul, bool longHeaders, const Bytes& body = {});
// A whole stored XPK frame of short-header chunks (type, PL, UL, body) and the end chunk.
Bytes XpkFrame(const char* method, std::initializer_list<std::tuple<uint8_t, uint32_t, uint32_t, Bytes>> chunks);

// A planar animation without deltas: one raw frame per image, located by PROF
// for formats 1 and 2 and by the derived frame size for format 0.
Bytes PlanarAnim(const std::vector<Bytes>& images, int width, int height, int depth,
                 std::span<const uint32_t> palette, uint16_t format = 0);

}  // namespace yafa::test
