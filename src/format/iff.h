// The chunks of a YAFA file up to BODY, walked the one way the plugin and
// the tool both read them: "FORM", a size that is never read, "YAFA", then
// chunks of a 4-byte identifier, a u32 size and the data. INFO, PROF and
// TTBL are read by their content, not their size; DRGB ends where its size
// says (no pad byte); every other chunk is skipped by its size and a pad
// byte when the size is odd. The walk stops right after BODY's header.
#pragma once

#include <cstdint>

#include "format/byte_source.h"
#include "format/geometry.h"
#include "format/status.h"

namespace yafa {

constexpr uint32_t ChunkId(const char (&id)[5]) noexcept {
    return (uint32_t(uint8_t(id[0])) << 24) | (uint32_t(uint8_t(id[1])) << 16) | (uint32_t(uint8_t(id[2])) << 8) |
           uint32_t(uint8_t(id[3]));
}

inline constexpr uint32_t kFormId = ChunkId("FORM");
inline constexpr uint32_t kYafaId = ChunkId("YAFA");
inline constexpr uint32_t kInfoId = ChunkId("INFO");
inline constexpr uint32_t kProfId = ChunkId("PROF");
inline constexpr uint32_t kDrgbId = ChunkId("DRGB");
inline constexpr uint32_t kTtblId = ChunkId("TTBL");
inline constexpr uint32_t kBodyId = ChunkId("BODY");

// DRGB: a u16 colour count, 2 spare bytes, then 12 bytes per colour.
inline constexpr uint32_t kDrgbHeaderBytes = 4;
inline constexpr uint32_t kPaletteColours = 256;

// A 4-byte identifier by one read; false when the data ends first.
inline bool ReadChunkId(ByteSource& source, uint32_t* id) noexcept {
    uint8_t b[4];
    const bool complete = source.Read(b, 4) == 4;
    *id = (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
    return complete;
}

// A colour of DRGB or of a palette tail: the top byte of each of the three
// u32 components, as 0x00RRGGBB.
constexpr uint32_t PaletteColour(uint32_t red, uint32_t green, uint32_t blue) noexcept {
    return ((red >> 24) << 16) | ((green >> 24) << 8) | (blue >> 24);
}

// What a walk tells a visitor that wants none of it; visitors derive from it
// and hide what they want.
struct ChunkVisitor {
    Status OnInfo(const InfoFields&) noexcept { return Status::Ok; }
    Status OnTable(uint32_t id, uint32_t count, ByteSource& source) noexcept {
        for (uint32_t i = 0; i < count; ++i) id == kProfId ? source.ReadU32BE() : source.ReadU16BE();
        return Status::Ok;
    }
    void OnPalette(uint32_t) noexcept {}
    void OnColour(uint32_t, uint32_t) noexcept {}
};

// Walks `source` from the start of the file to just behind BODY's header,
// telling `visitor` what it finds:
//   Status OnInfo(const InfoFields&)                 after each INFO
//   Status OnTable(uint32_t id, uint32_t count, ByteSource&)
//                                                    PROF or TTBL: read exactly
//                                                    count entries (u32 or u16)
//   void OnPalette(uint32_t count)                   a DRGB's colour count, then
//   void OnColour(uint32_t index, uint32_t rgb)      each of its colours
// A visitor's failure ends the walk with its status.
template <class Visitor>
Status WalkYafaChunks(ByteSource& source, Visitor& visitor) noexcept {
    uint32_t id = 0;
    YAFA_CHECK(ReadChunkId(source, &id) && id == kFormId, NotYafa);
    source.Skip(4);  // the FORM size: never read
    YAFA_CHECK(ReadChunkId(source, &id) && id == kYafaId, NotYafa);

    uint32_t frameCount = 0;
    for (;;) {
        YAFA_CHECK(ReadChunkId(source, &id), NoBodyChunk);
        const uint32_t size = source.ReadU32BE();
        switch (id) {
        case kBodyId:
            return Status::Ok;
        case kInfoId: {
            InfoFields info;
            info.width = source.ReadU16BE();
            info.height = source.ReadU16BE();
            info.depth = source.ReadU16BE();
            info.defaultDelay = source.ReadU16BE();
            info.frameCount = source.ReadU16BE();
            info.frameFormat = source.ReadU16BE();
            info.flags = source.ReadU16BE();
            frameCount = info.frameCount;
            YAFA_TRY(visitor.OnInfo(info));
            YAFA_CHECK(info.frameFormat <= YAFA_MAX_FRAME_FORMAT, FrameFormatUnknown);
            break;
        }
        case kProfId:
            YAFA_CHECK(frameCount > 0, ProfWithoutFrames);
            YAFA_TRY(visitor.OnTable(id, frameCount, source));
            break;
        case kTtblId:
            YAFA_CHECK(frameCount > 0, TtblWithoutFrames);
            YAFA_TRY(visitor.OnTable(id, frameCount, source));
            break;
        case kDrgbId: {
            const uint32_t count = source.ReadU16BE();
            // Colours beyond the declared size would leave the chunk's end
            // behind where reading stopped; going back there could loop.
            YAFA_CHECK(uint64_t{kDrgbHeaderBytes} + uint64_t{kPaletteEntryBytes} * count <= size, PaletteBeyondChunk);
            source.Skip(2);
            visitor.OnPalette(count);
            for (uint32_t i = 0; i < count; ++i) {
                const uint32_t red = source.ReadU32BE();
                const uint32_t green = source.ReadU32BE();
                const uint32_t blue = source.ReadU32BE();
                visitor.OnColour(i, PaletteColour(red, green, blue));
            }
            YAFA_CHECK(source.Skip(size - kDrgbHeaderBytes - kPaletteEntryBytes * count), SeekOutOfRange);
            break;
        }
        default:
            // The size is unsigned: skipping always moves forward, so a huge
            // size runs into the end of the file instead of looping. A skip
            // the source refuses would leave the walk reading the chunk's
            // data as chunk headers.
            YAFA_CHECK(source.Skip(size) && ((size & 1) == 0 || source.Skip(1)), SeekOutOfRange);
            break;
        }
    }
}

}  // namespace yafa
