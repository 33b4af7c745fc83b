#include "anim/anim_handle.h"

#include <cstdlib>
#include <cstring>

#include "io/malloc_buffer.h"

namespace yafa {

namespace {

// Back buffers up to this size are cleared where they are; clearing larger
// ones would touch every page of them, which fresh zero pages spare.
constexpr size_t kClearInPlaceBytes = size_t{1} << 20;

}  // namespace

void ResetDeltaState(AnimHandle& anim) noexcept {
    anim.currentBuffer = 0;
    anim.nextFrame = 0;
    if (!anim.hasDelta()) return;
    for (int b = 0; b < 2; ++b) {
        if (!anim.backBufferDirty[b] || !anim.backBuffer[b]) continue;
        if (anim.backBufferSize <= kClearInPlaceBytes) {
            std::memset(anim.backBuffer[b], 0, anim.backBufferSize);
        } else {
            std::free(anim.backBuffer[b]);
            anim.backBuffer[b] = nullptr;
        }
        anim.backBufferDirty[b] = false;
    }
}

Status EnsureBackBuffers(AnimHandle& anim) noexcept {
    for (uint8_t*& buffer : anim.backBuffer) {
        if (!buffer) buffer = AllocZeroedBytes(anim.backBufferSize).release();
        YAFA_CHECK(buffer, OutOfMemory);
    }
    return Status::Ok;
}

}  // namespace yafa
