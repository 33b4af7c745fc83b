// What INFO's seven words imply: the depth frames are decoded at, the size
// of a plane row, of a palette tail, of a whole frame and of a back buffer,
// the delta columns, where frames lie without PROF, and the bound that every
// unpacked frame keeps. Worked out in 64 bits, so that no product of 16-bit
// fields can wrap around to a smaller allocation. The plugin, the tool and
// the tests all derive these sizes here.
#pragma once

#include <cstdint>

#include "format/status.h"
#include "yafa/info_flags.h"

namespace yafa {

// INFO: seven big-endian u16, in this order.
struct InfoFields {
    uint16_t width = 0;
    uint16_t height = 0;
    uint16_t depth = 0;
    uint16_t defaultDelay = 0;  // ticks of 1/50 s
    uint16_t frameCount = 0;
    uint16_t frameFormat = 0;   // 0..2 planar, 3 and 4 chunky
    uint16_t flags = 0;         // YAFA_HAM, YAFA_DELTA, ...
};
inline constexpr uint32_t kInfoBytes = 14;

constexpr bool IsChunkyFormat(uint32_t frameFormat) noexcept { return frameFormat >= YAFA_FIRST_CHUNKY_FORMAT; }

// Bytes per pixel of a stored chunky frame of this depth.
constexpr uint32_t ChunkyBytesPerPixel(uint32_t depth) noexcept { return depth == 15 ? 2u : depth == 24 ? 3u : 1u; }

// A delta frame starts with the op-list and data offsets of 8 planes.
inline constexpr uint32_t kDeltaPlanes = 8;
inline constexpr uint32_t kDeltaHeaderBytes = 2 * 4 * kDeltaPlanes;

// A palette tail: 4 unread bytes, 12 per colour (red, green, blue as u32
// whose top byte is the component), 4 unread bytes.
inline constexpr uint32_t kPaletteEntryBytes = 12;
constexpr uint32_t PaletteTailBytes(uint32_t colours) noexcept { return colours * kPaletteEntryBytes + 8; }

// Every frame, back buffer and 32-bit output must stay below this: frame
// lengths are u32 in every stored form, and hosts size their buffers in 32
// bits. Larger animations are refused when they are opened.
inline constexpr uint64_t kMaxBufferBytes = 0xFFFFFFFFu;

// Unpacked frames carry at most this much beyond four times their pixel
// data (delta op lists, padding, palette tail). No valid frame comes near
// it, and it keeps a few hostile header bytes from asking for gigabytes.
inline constexpr uint64_t kFrameBoundMargin = uint64_t{1} << 20;

struct Geometry {
    uint32_t depth = 0;            // INFO's depth, or 8 for chunky delta animations
    uint32_t planeRowBytes = 0;    // the width taken up to 16 pixels, in bytes
    uint32_t paletteSize = 0;      // colours in a palette tail; 0 above depth 8
    uint32_t paletteTailSize = 0;  // bytes of a palette tail; 0 above depth 8
    uint64_t pixels = 0;           // width × height
    uint64_t planeBytes = 0;       // one bitplane: height × planeRowBytes
    uint64_t planarBytes = 0;      // every bitplane: a back buffer or a whole planar frame
    uint64_t pixelBytes = 0;       // the pixel data of a whole (non-delta) frame
    uint64_t frameSize = 0;        // stored length of every frame without PROF; 0 when frames need PROF
    uint64_t maxFrameBytes = 0;    // bound on any unpacked frame of the animation
    uint32_t deltaUnit = 0;        // delta animations: bytes per delta column (1, 2 or 4)
    uint32_t deltaUnitsPerRow = 0; // delta animations: columns across a plane row
    uint32_t firstDeltaFrame = 0;  // delta animations: the first frame stored as a delta
};

constexpr Geometry DeriveGeometry(const InfoFields& info) noexcept {
    Geometry g;
    const uint32_t flags = info.flags;
    const bool delta = (flags & YAFA_DELTA) != 0;
    const bool chunky = IsChunkyFormat(info.frameFormat);
    g.planeRowBytes = ((uint32_t{info.width} + 15) >> 4) * 2;
    // The palette follows INFO's depth, before a chunky delta animation's
    // depth becomes 8.
    if (info.depth <= 8) {
        if (flags & YAFA_HAM) g.paletteSize = info.depth == 8 ? 64 : 16;
        else g.paletteSize = 1u << info.depth;
        g.paletteTailSize = PaletteTailBytes(g.paletteSize);
    }
    g.depth = delta && chunky ? 8 : info.depth;
    g.pixels = uint64_t{info.width} * info.height;
    g.planeBytes = uint64_t{info.height} * g.planeRowBytes;
    g.planarBytes = g.planeBytes * g.depth;
    g.pixelBytes = chunky ? g.pixels * ChunkyBytesPerPixel(g.depth) : g.planarBytes;
    const uint64_t dataBytes = chunky && !delta ? g.pixelBytes : g.planarBytes;
    const uint64_t bound = 4 * dataBytes + g.paletteTailSize + kFrameBoundMargin;
    g.maxFrameBytes = bound < kMaxBufferBytes ? bound : kMaxBufferBytes;
    if (delta) {
        if (flags & YAFA_WORDDELTA) {
            g.deltaUnit = 2;
            g.deltaUnitsPerRow = info.width / 16u;
        } else if (flags & YAFA_LONGDELTA) {
            g.deltaUnit = 4;
            g.deltaUnitsPerRow = info.width / 32u;
        } else {
            g.deltaUnit = 1;
            g.deltaUnitsPerRow = g.planeRowBytes;
        }
        g.firstDeltaFrame = (flags & YAFA_DELTAFROM0) ? 0 : (flags & YAFA_DELTAFROM1) ? 1 : 2;
    } else {
        if (info.frameFormat == 4) g.frameSize = g.pixelBytes;
        else if (info.frameFormat == 0) g.frameSize = g.planarBytes;
        if (flags & YAFA_FRAMEPALETTE) g.frameSize += g.paletteTailSize;
    }
    return g;
}

// True when the pixel conversion has a path for this depth and mode.
constexpr bool HasPixelConversion(const InfoFields& info, const Geometry& g) noexcept {
    if (info.flags & YAFA_HAM) return g.depth == 6 || g.depth == 8;
    if (g.depth <= 8) return true;
    // True colour is stored chunky only: a planar frame converts to one
    // byte per pixel and could not feed the 2- and 3-byte paths.
    return IsChunkyFormat(info.frameFormat) && (g.depth == 15 || g.depth == 24);
}

// Whether an animation of this geometry can be opened; `indexed` when the
// host asks for 8-bit palette indices.
constexpr Status CheckGeometry(const InfoFields& info, const Geometry& g, bool indexed) noexcept {
    YAFA_CHECK(!indexed || (info.depth <= 8 && !(info.flags & YAFA_HAM)), IndexedOutputUnavailable);
    YAFA_CHECK(HasPixelConversion(info, g), NoPixelConversion);
    YAFA_CHECK(g.pixels * 4 <= kMaxBufferBytes && g.planarBytes <= kMaxBufferBytes && g.pixelBytes <= kMaxBufferBytes,
               GeometryTooLarge);
    return Status::Ok;
}

// Where a stored frame lies, counted from the first byte of BODY's data.
// With PROF, frame i runs from entry i-1 (0 for frame 0) to entry i; an end
// before the start leaves the length unknown (XPK frames never use it).
// Without PROF, frames lie frameSize apart and are frameSize long.
struct FrameLocation {
    uint64_t start = 0;
    uint64_t length = 0;
    bool lengthKnown = false;
};

constexpr FrameLocation LocateFrame(const uint32_t* frameEnds, uint64_t frameSize, uint32_t frame) noexcept {
    if (frameEnds) {
        const uint32_t start = frame > 0 ? frameEnds[frame - 1] : 0;
        const uint32_t end = frameEnds[frame];
        return {start, end >= start ? end - start : 0, end >= start};
    }
    return {uint64_t{frame} * frameSize, frameSize, true};
}

}  // namespace yafa
