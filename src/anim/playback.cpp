// LoadFrame and GetFrameDelay: serving frames in any order over a delta
// sequence, and frame timing.
#include <cstdlib>
#include <cstring>

#include "anim/anim_handle.h"
#include "decode/decode_frame.h"
#include "plugin/exports.h"
#include "plugin/host_services.h"

namespace yafa {

void ResetDeltaState(AnimHandle* anim) noexcept {
    anim->currentBuffer = 0;
    anim->nextFrame = 0;
    if (anim->hasDelta()) {
        std::memset(anim->backBuffer[0], 0, anim->backBufferSize);
        std::memset(anim->backBuffer[1], 0, anim->backBufferSize);
    }
}

namespace {

// Plays the delta sequence forward to `frame`, then decodes it into `output`.
bool PlayTo(AnimHandle* anim, int32_t frame, uint8_t* output, int32_t bytesPerPixel) noexcept {
    if (anim->hasDelta()) {
        if (anim->nextFrame > frame) ResetDeltaState(anim);
        while (anim->nextFrame < frame) {
            if (!DecodeFrame(anim, anim->nextFrame, nullptr, 0)) return false;
            ++anim->nextFrame;
        }
    } else {
        anim->nextFrame = frame;
    }
    return DecodeFrame(anim, frame, output, bytesPerPixel) != 0;
}

}  // namespace
}  // namespace yafa

using namespace yafa;

YAFA_EXPORT void* LoadFrame(AnimHandle* anim, int32_t frame, FrameRequest* request) {
    // Callers keep to 0 .. frameCount - 1; anything else is refused before
    // a table is indexed with it.
    if (frame < 0 || frame >= anim->frameCount) return nullptr;
    const int32_t bytesPerPixel = (request->flags & ANIM_REQUEST_INDEXED) ? 1 : 4;
    // HAM and true-colour frames only exist as 32-bit pixels; an 8-bit
    // request for them is refused rather than overrunning a 1-byte buffer.
    if (bytesPerPixel == 1 && (anim->isHam() || anim->depth > 8)) return nullptr;

    // OpenAnim made sure this product fits; one byte keeps an empty frame
    // distinct from a failure.
    const size_t size = size_t(anim->pixelCount()) * size_t(bytesPerPixel);
    auto* buffer = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (!buffer) return nullptr;

    if (!PlayTo(anim, frame, buffer, bytesPerPixel)) {
        std::free(buffer);
        // A failed frame may have half-applied a delta to a back buffer.
        // Starting again from frame 0 next time keeps later frames from
        // being built on it.
        if (anim->hasDelta()) ResetDeltaState(anim);
        return nullptr;
    }
    if (++anim->nextFrame == anim->frameCount) ResetDeltaState(anim);

    if (Host()->version > 8) {
        request->depth = anim->depth;
        if (bytesPerPixel == 1) request->palette = anim->palette;
    }
    return buffer;
}

YAFA_EXPORT int32_t GetFrameDelay(AnimHandle* anim, int32_t frame) {
    // Frames outside the animation have no delay; no table is read for them.
    if (frame < 0 || frame >= anim->frameCount) return 0;
    uint32_t ticks = 0;
    if (!anim->frameDelays) {
        ticks = uint32_t(anim->defaultDelay);
    } else {
        // A 0 entry repeats the nearest earlier non-zero delay.
        for (int32_t i = frame; i >= 0; --i) {
            if (anim->frameDelays[i] != 0) {
                ticks = anim->frameDelays[i];
                break;
            }
        }
    }
    // Double precision in this order: some counts come out one millisecond
    // short (201 ticks give 4019 ms), which hosts have always been given.
    return static_cast<int32_t>(static_cast<double>(ticks) / 50.0 * 1000.0);
}
