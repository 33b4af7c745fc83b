// The IFF chunk walk that fills an AnimHandle, and the parameters derived
// from INFO once BODY is reached.
#include "anim/parser.h"

#include <climits>
#include <cstdlib>

#include "format/geometry.h"
#include "format/iff.h"

namespace yafa {
namespace {

// Keeps what the walk finds in the handle.
struct HandleFiller : ChunkVisitor {
    explicit HandleFiller(AnimHandle& handle) noexcept : anim(handle) {}
    AnimHandle& anim;
    InfoFields info;

    Status OnInfo(const InfoFields& fields) noexcept {
        info = fields;
        anim.width = fields.width;
        anim.height = fields.height;
        anim.depth = fields.depth;
        anim.defaultDelay = fields.defaultDelay;
        anim.frameCount = fields.frameCount;
        anim.frameFormat = fields.frameFormat;
        anim.flags = fields.flags;
        return Status::Ok;
    }

    // PROF or TTBL: `count` entries, replacing an earlier table.
    Status OnTable(uint32_t id, uint32_t count, ByteSource& source) noexcept {
        if (id == kProfId) return ReadTable(source, count, &anim.frameOffsets, &anim.frameOffsetsCount);
        return ReadTable(source, count, &anim.frameDelays, &anim.frameDelaysCount);
    }

    // The table holds 256 colours; surplus entries are read past.
    void OnColour(uint32_t index, uint32_t rgb) noexcept {
        if (index < kPaletteColours) anim.palette[index] = rgb;
    }

private:
    template <class T>
    static Status ReadTable(ByteSource& source, uint32_t count, T** table, int32_t* tableCount) noexcept {
        T* entries = static_cast<T*>(std::calloc(count, sizeof(T)));
        YAFA_CHECK(entries, OutOfMemory);
        for (uint32_t i = 0; i < count; ++i)
            entries[i] = static_cast<T>(sizeof(T) == 4 ? source.ReadU32BE() : source.ReadU16BE());
        std::free(*table);
        *table = entries;
        *tableCount = static_cast<int32_t>(count);
        return Status::Ok;
    }
};

// Derives every decoding parameter once the chunks up to BODY are read.
Status DeriveParameters(AnimHandle& anim, const InfoFields& info, bool indexed) noexcept {
    // A later INFO may have changed the frame count; a table shorter than it
    // would be indexed beyond its end. A longer one keeps entries unused.
    YAFA_CHECK(!anim.frameOffsets || anim.frameOffsetsCount >= anim.frameCount, TableShorterThanFrameCount);
    YAFA_CHECK(!anim.frameDelays || anim.frameDelaysCount >= anim.frameCount, TableShorterThanFrameCount);
    const Geometry g = DeriveGeometry(info);
    YAFA_TRY(CheckGeometry(info, g, indexed));

    anim.planeRowBytes = static_cast<int32_t>(g.planeRowBytes);
    anim.paletteSize = static_cast<int32_t>(g.paletteSize);
    anim.paletteTailSize = static_cast<int32_t>(g.paletteTailSize);
    anim.depth = static_cast<int32_t>(g.depth);
    // CheckGeometry keeps these below 2^32.
    anim.planeBytes = static_cast<uint32_t>(g.planeBytes);
    anim.backBufferSize = static_cast<uint32_t>(g.planarBytes);
    anim.pixelBytes = static_cast<uint32_t>(g.pixelBytes);
    anim.maxFrameBytes = static_cast<uint32_t>(g.maxFrameBytes);
    anim.frameStride = g.frameSize;
    anim.frameSize = g.frameSize <= uint64_t(INT32_MAX) ? static_cast<int32_t>(g.frameSize) : 0;
    if (anim.hasDelta()) {
        anim.deltaUnit = static_cast<int32_t>(g.deltaUnit);
        anim.deltaUnitsPerRow = static_cast<int32_t>(g.deltaUnitsPerRow);
        anim.firstDeltaFrame = static_cast<int32_t>(g.firstDeltaFrame);
        YAFA_TRY(EnsureBackBuffers(anim));
    }
    return Status::Ok;
}

}  // namespace

Status ReadAnimHeader(AnimHandle& anim, ByteSource& source, bool indexed) noexcept {
    HandleFiller filler(anim);
    YAFA_TRY(WalkYafaChunks(source, filler));
    const int64_t bodyStart = source.Position();
    YAFA_CHECK(bodyStart >= 0 && bodyStart <= INT32_MAX, SeekOutOfRange);
    anim.bodyStart = static_cast<int32_t>(bodyStart);
    return DeriveParameters(anim, filler.info, indexed);
}

void FreeAnimTables(AnimHandle& anim) noexcept {
    std::free(anim.frameOffsets);
    std::free(anim.frameDelays);
    std::free(anim.backBuffer[0]);
    std::free(anim.backBuffer[1]);
    anim.frameOffsets = nullptr;
    anim.frameDelays = nullptr;
    anim.backBuffer[0] = anim.backBuffer[1] = nullptr;
}

}  // namespace yafa
