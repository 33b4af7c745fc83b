// DecodeFrame: find one stored frame, unpack it, apply it to the delta
// state and hand its pixels to ConvertPixels.
#include "decode/decode_frame.h"

#include <climits>
#include <cstring>

#include "decode/convert_pixels.h"
#include "decode/delta.h"
#include "decode/planar.h"
#include "format/geometry.h"
#include "format/s404_format.h"
#include "format/xpk_format.h"
#include "io/host_services.h"
#include "unpack/s404.h"
#include "unpack/xpk.h"

namespace yafa {
namespace {

// A raw frame: its stored bytes are the frame, the tag its first 4. Read as
// it arrives; bytes the file lacks read as 0 (`held` tells how many it has).
Status ReadRawFrame(ByteSource& source, const AnimHandle& anim, const uint8_t tag[4], size_t tagBytes,
                    uint64_t storedLength, UnpackedFrame& frame) noexcept {
    YAFA_CHECK(storedLength >= 4, FrameShorterThanTag);
    YAFA_CHECK(storedLength <= anim.maxFrameBytes, FrameLargerThanGeometry);
    ReadBlock block;
    // A file that ended inside the tag has nothing more to give.
    YAFA_TRY(ReadAsTheyArrive(source, tagBytes == 4 ? storedLength - 4 : 0, 4, &block));
    std::memcpy(block.bytes.get(), tag, 4);
    frame.bytes = std::move(block.bytes);
    frame.length = static_cast<uint32_t>(storedLength);
    frame.held = static_cast<uint32_t>(tagBytes + block.held);
    return Status::Ok;
}

// Keeps a key frame of a delta animation in back buffer `index`.
void KeepKeyFrame(AnimHandle& anim, const FrameBytes& frame, int index) noexcept {
    const size_t size = anim.backBufferSize;
    // A chunky key frame holds width × height pixels, which can be less than
    // the 8-plane buffer, and a raw frame cut short holds fewer bytes than its
    // length: the rest is 0, and never displayed in the first case.
    const size_t n = frame.held < size ? frame.held : size;
    if (n) std::memcpy(anim.backBuffer[index], frame.bytes, n);
    std::memset(anim.backBuffer[index] + n, 0, size - n);
    anim.backBufferDirty[index] = true;
}

// Unpacks frame i, positioned at its tag.
Status Unpack(AnimHandle& anim, int32_t i, UnpackedFrame& frame, FrameReport& report) noexcept {
    const FrameLocation place = LocateFrame(anim.frameOffsets, anim.frameStride, uint32_t(i));
    report.fileOffset = uint64_t(uint32_t(anim.bodyStart)) + place.start;
    report.storedBytes = place.length;
    report.storedLengthKnown = place.lengthKnown;
    // A refused seek would leave the frame to be read from wherever the
    // file happens to be.
    YAFA_CHECK(report.fileOffset <= uint64_t(INT32_MAX), SeekOutOfRange);
    YAFA_CHECK(HostSeek(anim.file, int32_t(report.fileOffset), HOST_SEEK_START) >= 0, SeekOutOfRange);

    HostFileSource source(anim.file);
    uint8_t tag[4] = {};
    const size_t tagBytes = source.Read(tag, 4);
    YAFA_CHECK(tagBytes > 0, FrameStartsPastEndOfFile);
    if (tagBytes == 4 && std::memcmp(tag, kXpkTag, 4) == 0) {
        // XPK frames are placed by their start alone: the stream ends itself.
        report.storage = StorageKind::Xpk;
        return UnpackXpk(source, anim.maxFrameBytes, frame, report.xpkMethod);
    }
    YAFA_CHECK(place.lengthKnown, FrameEndsBeforeStart);
    if (tagBytes == 4 && std::memcmp(tag, kS404Tag, 4) == 0) {
        report.storage = StorageKind::S404;
        return UnpackS404(source, place.length, anim.maxFrameBytes, frame);
    }
    report.storage = StorageKind::Raw;
    return ReadRawFrame(source, anim, tag, tagBytes, place.length, frame);
}

// The frame's pixel data as one block of `size` bytes: the frame itself, or
// a copy with the bytes it lacks as 0.
const uint8_t* WholePixels(const FrameBytes& frame, size_t size, MallocBytes& copy) noexcept {
    if (frame.held >= size) return frame.bytes;
    copy = AllocZeroedBytes(size);
    if (copy && frame.held) std::memcpy(copy.get(), frame.bytes, frame.held);
    return copy.get();
}

}  // namespace

Status DecodeFrame(AnimHandle& anim, int32_t i, FrameOutput* output, FrameReport& r) noexcept {
    r = FrameReport{};
    r.frame = i;
    UnpackedFrame unpacked;
    YAFA_TRY(Unpack(anim, i, unpacked, r));
    r.unpackedBytes = unpacked.length;

    // Check every size the steps below rely on before anything changes. The
    // palette tail and the pixel data are found from the two ends of the
    // frame, and each only needs to be there itself.
    const uint32_t tailSize = anim.hasFramePalette() ? uint32_t(anim.paletteTailSize) : 0;
    YAFA_CHECK(unpacked.length >= tailSize, FrameShorterThanPaletteTail);
    const bool isDelta = anim.hasDelta() && i >= anim.firstDeltaFrame;
    YAFA_CHECK(isDelta || unpacked.length >= anim.pixelBytes, FrameShorterThanPixels);
    // An XPK stream with no chunks unpacks to no buffer at all; the steps
    // below then read nothing, but still want an address to start from.
    static constexpr uint8_t kNoBytes[1] = {0};
    const FrameBytes bytes{unpacked.bytes ? unpacked.bytes.get() : kNoBytes, unpacked.held, unpacked.length};

    uint8_t* target = nullptr;
    if (anim.hasDelta()) {
        YAFA_TRY(EnsureBackBuffers(anim));
        target = anim.backBuffer[anim.currentBuffer];
    }
    if (isDelta) {
        anim.backBufferDirty[anim.currentBuffer] = true;
        YAFA_TRY(ApplyDelta(anim, bytes, target));
    }

    if (tailSize) {
        // Colour k: the top bytes of three u32 at 4 + 12k from the tail's start.
        const size_t tail = bytes.length - tailSize + 4;
        for (int32_t k = 0; k < anim.paletteSize; ++k) {
            const size_t e = tail + kPaletteEntryBytes * size_t(k);
            anim.palette[k] = (uint32_t{bytes.At(e)} << 16) | (uint32_t{bytes.At(e + 4)} << 8) | bytes.At(e + 8);
        }
    }

    if (anim.hasDelta()) {
        const bool from0 = anim.flags & YAFA_DELTAFROM0;
        const bool from1 = anim.flags & YAFA_DELTAFROM1;
        if (from0) {
            if (i == 0 && from1) {
                std::memcpy(anim.backBuffer[1], anim.backBuffer[0], anim.backBufferSize);
                anim.backBufferDirty[1] = true;
            }
        } else if (from1) {
            if (i == 0) {
                KeepKeyFrame(anim, bytes, 0);
                KeepKeyFrame(anim, bytes, 1);
            }
        } else if (i == 0 || i == 1) {
            KeepKeyFrame(anim, bytes, i);
        }
        if (isDelta) anim.currentBuffer = 1 - anim.currentBuffer;
    }

    // Pixels only for the frame someone sees: a replayed frame ends here. The
    // source stays valid through the copies above: a copy never overwrites
    // the buffer that the source lies in.
    if (!output) return Status::Ok;
    MallocBytes whole;
    const uint8_t* source = isDelta ? target : WholePixels(bytes, anim.pixelBytes, whole);
    YAFA_CHECK(source, OutOfMemory);
    MallocBytes chunky;
    if (!IsChunkyFormat(uint32_t(anim.frameFormat))) {
        chunky = AllocBytes(anim.pixelCount());
        YAFA_CHECK(chunky, OutOfMemory);
        PlanarToChunky(source, anim.planeBytes, uint32_t(anim.depth), uint32_t(anim.width), uint32_t(anim.height),
                       uint32_t(anim.planeRowBytes), chunky.get());
        source = chunky.get();
    }
    // One byte keeps an empty frame distinct from a failure.
    output->pixels = AllocBytes(size_t(anim.pixelCount()) * size_t(output->bytesPerPixel));
    YAFA_CHECK(output->pixels, OutOfMemory);
    ConvertPixels(anim, source, output->pixels.get(), output->bytesPerPixel);
    return Status::Ok;
}

}  // namespace yafa
