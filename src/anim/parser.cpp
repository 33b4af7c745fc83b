// OpenAnim and CloseAnim: the IFF chunk loop that fills an AnimHandle.
#include <cstdlib>
#include <cstring>
#include <new>

#include "anim/anim_handle.h"
#include "anim/geometry.h"
#include "plugin/exports.h"
#include "plugin/host_services.h"

namespace yafa {
namespace {

constexpr uint32_t Id(const char (&s)[5]) noexcept {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) | (uint32_t(uint8_t(s[2])) << 8) |
           uint32_t(uint8_t(s[3]));
}

uint32_t ReadId(HostFile file, bool* complete) noexcept {
    uint8_t b[4];
    *complete = HostRead(file, b, 4) == 4;
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

void FreeTables(AnimHandle* anim) noexcept {
    std::free(anim->frameOffsets);
    std::free(anim->frameDelays);
    std::free(anim->backBuffer[0]);
    std::free(anim->backBuffer[1]);
    anim->frameOffsets = nullptr;
    anim->frameDelays = nullptr;
    anim->backBuffer[0] = anim->backBuffer[1] = nullptr;
}

// Reads PROF or TTBL: frameCount entries, replacing an earlier table.
template <class T, class ReadFn>
bool ReadTable(AnimHandle* anim, T** table, int32_t* count, ReadFn read) noexcept {
    if (anim->frameCount == 0) return false;
    T* entries = static_cast<T*>(std::calloc(size_t(anim->frameCount), sizeof(T)));
    if (!entries) return false;
    for (int32_t i = 0; i < anim->frameCount; ++i) entries[i] = static_cast<T>(read(anim->file));
    std::free(*table);
    *table = entries;
    *count = anim->frameCount;
    return true;
}

// Reads DRGB, whose data starts at `dataStart` and is `size` bytes long.
bool ReadPalette(AnimHandle* anim, uint32_t size) noexcept {
    const uint32_t count = ReadU16BE(anim->file);
    // Entries beyond the declared size would make the chunk end before
    // where reading stopped; such a file is refused rather than re-read.
    if (uint64_t{4} + uint64_t{12} * count > size) return false;
    HostSeek(anim->file, 2, HOST_SEEK_CURRENT);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t red = ReadU32BE(anim->file);
        const uint32_t green = ReadU32BE(anim->file);
        const uint32_t blue = ReadU32BE(anim->file);
        // The table holds 256 colours; surplus entries are read past.
        if (i < 256) anim->palette[i] = ((red >> 24) << 16) | ((green >> 24) << 8) | (blue >> 24);
    }
    return HostSkip(anim->file, size - 4 - 12 * count);
}

// True when ConvertPixels has a path for this depth and mode.
bool HasConversionPath(const AnimHandle* anim) noexcept {
    if (anim->isHam()) return anim->depth == 6 || anim->depth == 8;
    if (anim->depth <= 8) return true;
    // True colour is stored chunky only: a planar frame converts to one
    // byte per pixel and could not feed the 2- and 3-byte paths.
    return IsChunkyFormat(anim->frameFormat) && (anim->depth == 15 || anim->depth == 24);
}

// Derives every decoding parameter once the chunks up to BODY are read.
bool DeriveGeometry(AnimHandle* anim, int32_t requestFlags) noexcept {
    // A second INFO after PROF or TTBL may have changed the frame count;
    // tables of another length would be indexed beyond their end.
    if ((anim->frameOffsets && anim->frameOffsetsCount != anim->frameCount) ||
        (anim->frameDelays && anim->frameDelaysCount != anim->frameCount)) {
        return false;
    }
    anim->planeRowBytes = ((anim->width + 15) >> 4) * 2;
    const bool indexed = (requestFlags & ANIM_REQUEST_INDEXED) != 0;

    if (anim->depth > 8) {
        if (indexed) return false;
    } else {
        if (anim->isHam()) {
            if (indexed) return false;
            anim->paletteSize = anim->depth == 8 ? 64 : 16;
        } else {
            anim->paletteSize = 1 << anim->depth;
        }
        anim->paletteTailSize = anim->paletteSize * 12 + 8;
    }
    if (anim->hasDelta() && IsChunkyFormat(anim->frameFormat)) anim->depth = 8;
    if (!HasConversionPath(anim)) return false;

    const uint64_t pixels = uint64_t(anim->width) * uint64_t(anim->height);
    const uint64_t planeBytes = uint64_t(anim->height) * uint64_t(anim->planeRowBytes);
    const uint64_t planarBytes = planeBytes * uint64_t(anim->depth);
    const uint64_t chunkyBytes = pixels * ChunkyBytesPerPixel(anim->depth);
    const uint64_t dataBytes = IsChunkyFormat(anim->frameFormat) && !anim->hasDelta() ? chunkyBytes : planarBytes;
    const uint64_t frameBound = 4 * dataBytes + uint64_t(anim->paletteTailSize) + kFrameBoundMargin;
    if (pixels * 4 > kMaxBufferBytes || planarBytes > kMaxBufferBytes || dataBytes > kMaxBufferBytes) return false;
    anim->planeBytes = static_cast<uint32_t>(planeBytes);
    anim->backBufferSize = static_cast<uint32_t>(planarBytes);
    anim->maxFrameBytes = static_cast<uint32_t>(frameBound > kMaxBufferBytes ? kMaxBufferBytes : frameBound);

    if (anim->hasDelta()) {
        anim->backBuffer[0] = static_cast<uint8_t*>(std::calloc(planarBytes ? planarBytes : 1, 1));
        anim->backBuffer[1] = static_cast<uint8_t*>(std::calloc(planarBytes ? planarBytes : 1, 1));
        if (!anim->backBuffer[0] || !anim->backBuffer[1]) return false;
        if (anim->flags & YAFA_WORDDELTA) {
            anim->deltaUnit = 2;
            anim->deltaUnitsPerRow = anim->width / 16;
        } else if (anim->flags & YAFA_LONGDELTA) {
            anim->deltaUnit = 4;
            anim->deltaUnitsPerRow = anim->width / 32;
        } else {
            anim->deltaUnit = 1;
            anim->deltaUnitsPerRow = anim->planeRowBytes;
        }
        anim->firstDeltaFrame = (anim->flags & YAFA_DELTAFROM0) ? 0 : (anim->flags & YAFA_DELTAFROM1) ? 1 : 2;
        anim->frameSize = 0;
    } else {
        uint64_t frameSize = 0;
        if (anim->frameFormat == 4) frameSize = chunkyBytes;
        else if (anim->frameFormat == 0) frameSize = planarBytes;
        if (anim->hasFramePalette()) frameSize += uint64_t(anim->paletteTailSize);
        // Frames then lie frameSize apart in the file; offsets must stay
        // within what a seek can reach.
        if (frameSize > uint64_t(INT32_MAX)) return false;
        anim->frameSize = static_cast<int32_t>(frameSize);
    }
    return true;
}

// The chunk loop, from offset 12 up to and including the BODY header.
bool ReadChunks(AnimHandle* anim) noexcept {
    for (;;) {
        bool complete = false;
        const uint32_t id = ReadId(anim->file, &complete);
        if (!complete) return false;
        const uint32_t size = ReadU32BE(anim->file);
        switch (id) {
        case Id("BODY"):
            return true;
        case Id("INFO"):
            anim->width = ReadU16BE(anim->file);
            anim->height = ReadU16BE(anim->file);
            anim->depth = ReadU16BE(anim->file);
            anim->defaultDelay = ReadU16BE(anim->file);
            anim->frameCount = ReadU16BE(anim->file);
            anim->frameFormat = ReadU16BE(anim->file);
            anim->flags = ReadU16BE(anim->file);
            if (anim->frameFormat > YAFA_MAX_FRAME_FORMAT) return false;
            break;
        case Id("PROF"):
            if (!ReadTable(anim, &anim->frameOffsets, &anim->frameOffsetsCount, ReadU32BE)) return false;
            break;
        case Id("DRGB"):
            if (!ReadPalette(anim, size)) return false;
            break;
        case Id("TTBL"):
            if (!ReadTable(anim, &anim->frameDelays, &anim->frameDelaysCount, ReadU16BE)) return false;
            break;
        default:
            // The size is unsigned: skipping always moves forward, so a
            // huge size runs into the end of the file instead of looping.
            // A seek the host refuses would leave the loop reading the
            // chunk's data as chunk headers.
            if (!HostSkip(anim->file, size) || ((size & 1) && !HostSkip(anim->file, 1))) return false;
            break;
        }
    }
}

}  // namespace
}  // namespace yafa

using namespace yafa;

YAFA_EXPORT AnimHandle* OpenAnim(const char* name, AnimOpenInfo* info) {
    void* memory = std::calloc(1, sizeof(AnimHandle));
    if (!memory) return nullptr;
    auto* anim = static_cast<AnimHandle*>(memory);

    const int32_t hostVersion = Host()->version;
    const uint32_t tag1Data = hostVersion > 5 ? info->openTag1Data : 0;
    const uint32_t tag6Data = hostVersion > 9 ? info->openTag6Data : 0;
    anim->file = HostOpen(name, 0, tag1Data, tag6Data);
    if (!anim->file) {
        std::free(anim);
        return nullptr;
    }

    bool ok = false;
    bool complete = false;
    if (ReadId(anim->file, &complete) == Id("FORM") && complete) {
        HostSeek(anim->file, 4, HOST_SEEK_CURRENT);
        ok = ReadId(anim->file, &complete) == Id("YAFA") && complete;
    }
    ok = ok && ReadChunks(anim);
    if (ok) {
        const int32_t bodyStart = HostSeek(anim->file, 0, HOST_SEEK_CURRENT);
        anim->bodyStart = bodyStart;
        ok = bodyStart >= 0 && DeriveGeometry(anim, info->flags);
    }
    if (!ok) {
        FreeTables(anim);
        HostClose(anim->file);
        std::free(anim);
        return nullptr;
    }

    info->width = anim->width;
    info->height = anim->height;
    info->frameCount = anim->frameCount;
    info->word4 = 0;
    info->word5 = 0;
    if (hostVersion > 8) info->depth = anim->depth;
    return anim;
}

YAFA_EXPORT void CloseAnim(AnimHandle* anim) {
    HostClose(anim->file);
    FreeTables(anim);
    std::free(anim);
}
