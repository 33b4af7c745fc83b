// Frame sequencing over a delta animation, and frame timing.
#include "play/playback.h"

namespace yafa {
namespace {

Status Play(AnimHandle& anim, int32_t frame, FrameOutput* output, FrameReport& report) noexcept {
    // Callers keep to 0 .. frameCount - 1; anything else is refused before
    // a table is indexed with it.
    YAFA_CHECK(frame >= 0 && frame < anim.frameCount, FrameIndexOutOfRange);
    // HAM and true-colour frames only exist as 32-bit pixels; an 8-bit
    // request for them is refused rather than overrunning a 1-byte buffer.
    YAFA_CHECK(!output || output->bytesPerPixel != 1 || (!anim.isHam() && anim.depth <= 8),
               IndexedOutputUnavailable);
    if (anim.hasDelta()) {
        if (anim.nextFrame > frame) ResetDeltaState(anim);
        while (anim.nextFrame < frame) {
            YAFA_TRY(DecodeFrame(anim, anim.nextFrame, nullptr, report));
            ++anim.nextFrame;
        }
    } else {
        anim.nextFrame = frame;
    }
    YAFA_TRY(DecodeFrame(anim, frame, output, report));
    if (++anim.nextFrame == anim.frameCount) ResetDeltaState(anim);
    return Status::Ok;
}

}  // namespace

Status PlayFrame(AnimHandle& anim, int32_t frame, FrameOutput* output, FrameReport* report) noexcept {
    FrameReport scratch;
    FrameReport& r = report ? *report : scratch;
    r = FrameReport{};
    r.frame = frame;
    r.status = Play(anim, frame, output, r);
    if (r.status != Status::Ok) {
        anim.lastFailure = {r.status, r.frame};
        // A failed frame may have half-applied a delta to a back buffer.
        // Starting again from frame 0 next time keeps later frames from
        // being built on it. Requests refused before any decode leave the
        // playback where it was.
        if (anim.hasDelta() && r.status != Status::FrameIndexOutOfRange &&
            r.status != Status::IndexedOutputUnavailable)
            ResetDeltaState(anim);
    }
    return r.status;
}

int32_t FrameDelayMs(const AnimHandle& anim, int32_t frame) noexcept {
    // Frames outside the animation have no delay; no table is read for them.
    if (frame < 0 || frame >= anim.frameCount) return 0;
    uint32_t ticks = 0;
    if (!anim.frameDelays) {
        ticks = uint32_t(anim.defaultDelay);
    } else {
        // A 0 entry repeats the nearest earlier non-zero delay.
        for (int32_t i = frame; i >= 0; --i) {
            if (anim.frameDelays[i] != 0) {
                ticks = anim.frameDelays[i];
                break;
            }
        }
    }
    // Double precision in this order: some counts come out one millisecond
    // short (201 ticks give 4019 ms), which hosts have always been given.
    return static_cast<int32_t>(static_cast<double>(ticks) / 50.0 * 1000.0);
}

}  // namespace yafa
