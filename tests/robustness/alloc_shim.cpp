// The wrapped allocator. No C++ runtime is used here: it runs inside
// malloc, and in a module that may be loaded by any host.
#include "alloc_shim.h"

#include <cstdio>
#include <cstdlib>

#define SHIM_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* block, size_t size);
void __real_free(void* block);
}

#ifndef YAFA_ALLOC_SHIM_ARMED
#define YAFA_ALLOC_SHIM_ARMED 0
#endif

namespace {

// The plugin holds a handful of blocks at a time; this is far above that.
constexpr size_t kMaxLive = 4096;

struct Block {
    void* address;
    size_t size;
};

Block gLive[kMaxLive];
size_t gLiveCount = 0;
uint64_t gLiveBytes = 0;
uint64_t gPeakBytes = 0;
uint64_t gCalls = 0;
uint64_t gFailed = 0;
uint64_t gLargest = 0;
uint64_t gFailAt = 0;
bool gPersistent = false;
size_t gCap = 0;
// The module variant counts every call of the plugin from the start; a
// fuzzer arms only its own thread, around the calls into the plugin.
#if YAFA_ALLOC_SHIM_ARMED
int tArmed = 1;
#else
thread_local int tArmed = 0;
#endif

[[noreturn]] void Die(const char* what) {
    std::fputs(what, stderr);
    std::fputc('\n', stderr);
    std::abort();
}

// Counts one call; true when it has to fail.
bool ShouldFail(size_t size) {
    ++gCalls;
    if (size > gLargest) gLargest = size;
    const bool fail = (gFailAt != 0 && (gCalls == gFailAt || (gPersistent && gCalls > gFailAt))) ||
                      (gCap != 0 && size > gCap);
    if (fail) ++gFailed;
    return fail;
}

void Track(void* address, size_t size) {
    if (gLiveCount == kMaxLive) Die("alloc shim: too many live blocks");
    gLive[gLiveCount++] = {address, size};
    gLiveBytes += size;
    if (gLiveBytes > gPeakBytes) gPeakBytes = gLiveBytes;
}

// Forgets a block; false when it was not tracked (allocated while disarmed).
bool Untrack(void* address) {
    for (size_t i = gLiveCount; i-- > 0;) {
        if (gLive[i].address == address) {
            gLiveBytes -= gLive[i].size;
            gLive[i] = gLive[--gLiveCount];
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" {

void* __wrap_malloc(size_t size) {
    if (!tArmed) return __real_malloc(size);
    if (ShouldFail(size)) return nullptr;
    void* block = __real_malloc(size);
    if (block) Track(block, size);
    return block;
}

void* __wrap_calloc(size_t count, size_t size) {
    if (!tArmed) return __real_calloc(count, size);
    const size_t total = count * size;
    if (size != 0 && total / size != count) {
        ++gCalls;
        gLargest = UINT64_MAX;
        return nullptr;
    }
    if (ShouldFail(total)) return nullptr;
    void* block = __real_calloc(count, size);
    if (block) Track(block, total);
    return block;
}

void* __wrap_realloc(void* block, size_t size) {
    if (!tArmed) {
        // A block tracked while armed may be grown after disarming; it is
        // then no longer counted.
        if (block) Untrack(block);
        return __real_realloc(block, size);
    }
    if (ShouldFail(size)) return nullptr;  // the old block stays as it was
    void* grown = __real_realloc(block, size);
    if (grown == nullptr) return nullptr;
    if (block) Untrack(block);
    Track(grown, size);
    return grown;
}

void __wrap_free(void* block) {
    if (block) Untrack(block);
    __real_free(block);
}

SHIM_EXPORT void YafaAllocReset(void) {
    gCalls = 0;
    gFailed = 0;
    gLargest = 0;
    gFailAt = 0;
    gPersistent = false;
    gPeakBytes = gLiveBytes;
}

SHIM_EXPORT void YafaAllocFailAt(uint64_t n, int persistent) {
    gFailAt = n == 0 ? 0 : gCalls + n;
    gPersistent = persistent != 0;
}

SHIM_EXPORT void YafaAllocSetCap(size_t bytes) { gCap = bytes; }

SHIM_EXPORT void YafaAllocResetPeak(void) { gPeakBytes = gLiveBytes; }

SHIM_EXPORT void YafaAllocGetStats(YafaAllocStats* stats) {
    stats->calls = gCalls;
    stats->failed = gFailed;
    stats->liveBlocks = gLiveCount;
    stats->liveBytes = gLiveBytes;
    stats->peakBytes = gPeakBytes;
    stats->largest = gLargest;
}

SHIM_EXPORT int YafaAllocArm(int armed) {
    const int before = tArmed;
    tArmed = armed;
    return before;
}

}  // extern "C"
