// DecodeFrame: find one stored frame, unpack it, apply it to the delta
// state and hand its pixels to ConvertPixels.
#include "decode/decode_frame.h"

#include <climits>
#include <cstring>

#include "anim/geometry.h"
#include "decode/convert_pixels.h"
#include "decode/delta.h"
#include "decode/planar.h"
#include "plugin/host_services.h"
#include "unpack/s404.h"
#include "unpack/xpk.h"

namespace yafa {
namespace {

constexpr uint8_t kXpkTag[4] = {'X', 'P', 'K', 'F'};
constexpr uint8_t kS404Tag[4] = {'S', '4', '0', '4'};

// Where a frame lies in the file, counted from bodyStart.
struct FrameSpan {
    uint64_t start;
    uint32_t storedLength;
};

bool LocateFrame(const AnimHandle& anim, int32_t i, FrameSpan* span) noexcept {
    if (anim.frameOffsets) {
        const uint32_t start = i > 0 ? anim.frameOffsets[i - 1] : 0;
        const uint32_t end = anim.frameOffsets[i];
        // Frames follow one another: an end before the start is no frame.
        if (end < start) return false;
        *span = {start, end - start};
    } else {
        *span = {uint64_t(i) * uint64_t(anim.frameSize), uint32_t(anim.frameSize)};
    }
    return true;
}

bool ReadRawFrame(const AnimHandle& anim, const uint8_t tag[4], uint32_t storedLength, UnpackedFrame* frame) noexcept {
    if (storedLength < 4 || storedLength > anim.maxFrameBytes) return false;
    MallocBytes bytes = AllocBytes(storedLength);
    if (!bytes) return false;
    std::memcpy(bytes.get(), tag, 4);
    // A frame cut short by the end of the file is refused: its missing
    // bytes would be whatever the allocator left there.
    if (!HostReadExact(anim.file, bytes.get() + 4, storedLength - 4)) return false;
    frame->bytes = std::move(bytes);
    frame->length = storedLength;
    return true;
}

// Bytes of pixel data a whole (non-delta) frame must hold.
uint64_t WholeFrameBytes(const AnimHandle& anim) noexcept {
    if (IsChunkyFormat(anim.frameFormat)) return uint64_t(anim.pixelCount()) * ChunkyBytesPerPixel(anim.depth);
    return uint64_t(anim.planeBytes) * uint32_t(anim.depth);
}

// Keeps a key frame of a delta animation in back buffer `index`.
void KeepKeyFrame(AnimHandle* anim, std::span<const uint8_t> frame, int index) noexcept {
    const uint32_t size = anim->backBufferSize;
    // A chunky key frame holds width × height pixels, which can be less
    // than the 8-plane buffer; the rest stays 0 and is never displayed.
    const size_t n = frame.size() < size ? frame.size() : size;
    std::memcpy(anim->backBuffer[index], frame.data(), n);
    std::memset(anim->backBuffer[index] + n, 0, size - n);
}

}  // namespace

int DecodeFrame(AnimHandle* anim, int32_t i, uint8_t* output, int32_t bytesPerPixel) noexcept {
    FrameSpan span;
    if (!LocateFrame(*anim, i, &span)) return 0;
    const uint64_t position = uint64_t(uint32_t(anim->bodyStart)) + span.start;
    if (position > uint64_t(INT32_MAX)) return 0;
    // A refused seek would leave the frame to be read from wherever the
    // file happens to be.
    if (HostSeek(anim->file, int32_t(position), HOST_SEEK_START) < 0) return 0;

    uint8_t tag[4];
    if (HostRead(anim->file, tag, 4) != 4) return 0;

    UnpackedFrame frame;
    if (std::memcmp(tag, kXpkTag, 4) == 0) {
        if (!UnpackXpk(anim->file, frame, anim->maxFrameBytes)) return 0;
    } else if (std::memcmp(tag, kS404Tag, 4) == 0) {
        // Without a PROF table the stored length is the fixed frame size.
        // A packed frame longer than any unpacked one is not read at all.
        if (span.storedLength > anim->maxFrameBytes) return 0;
        if (!UnpackS404(anim->file, span.storedLength, frame, anim->maxFrameBytes)) return 0;
    } else if (!ReadRawFrame(*anim, tag, span.storedLength, &frame)) {
        return 0;
    }

    // Check every size the steps below rely on before anything changes.
    const uint32_t tailSize = anim->hasFramePalette() ? uint32_t(anim->paletteTailSize) : 0;
    if (frame.length < tailSize) return 0;
    const bool isDelta = anim->hasDelta() && i >= anim->firstDeltaFrame;
    if (!isDelta && frame.length - tailSize < WholeFrameBytes(*anim)) return 0;
    // An XPK stream with no chunks unpacks to no buffer at all; the steps
    // below then read nothing, but still want an address to start from.
    static constexpr uint8_t kNoBytes[1] = {0};
    const std::span<const uint8_t> bytes(frame.bytes ? frame.bytes.get() : kNoBytes, frame.length);

    uint8_t* const target = anim->hasDelta() ? anim->backBuffer[anim->currentBuffer] : nullptr;
    if (isDelta && !ApplyDelta(*anim, bytes, target)) return 0;

    if (tailSize) {
        const uint8_t* e = bytes.data() + frame.length - tailSize + 4;
        for (int32_t k = 0; k < anim->paletteSize; ++k, e += 12) {
            anim->palette[k] = (uint32_t{e[0]} << 16) | (uint32_t{e[4]} << 8) | e[8];
        }
    }

    const uint8_t* source = isDelta ? target : bytes.data();
    MallocBytes chunky;
    if (!IsChunkyFormat(anim->frameFormat)) {
        chunky = AllocBytes(anim->pixelCount());
        if (!chunky) return 0;
        PlanarToChunky(source, anim->planeBytes, uint32_t(anim->depth), uint32_t(anim->width),
                       uint32_t(anim->height), uint32_t(anim->planeRowBytes), chunky.get());
        source = chunky.get();
    }

    if (anim->hasDelta()) {
        const bool from0 = anim->flags & YAFA_DELTAFROM0;
        const bool from1 = anim->flags & YAFA_DELTAFROM1;
        if (from0) {
            if (i == 0 && from1) std::memcpy(anim->backBuffer[1], anim->backBuffer[0], anim->backBufferSize);
        } else if (from1) {
            if (i == 0) {
                KeepKeyFrame(anim, bytes, 0);
                KeepKeyFrame(anim, bytes, 1);
            }
        } else if (i == 0 || i == 1) {
            KeepKeyFrame(anim, bytes, i);
        }
        if (isDelta) anim->currentBuffer = 1 - anim->currentBuffer;
    }

    if (output) ConvertPixels(*anim, source, output, bytesPerPixel);
    return 1;
}

}  // namespace yafa
