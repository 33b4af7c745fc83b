// Owners of blocks from the C allocator, and reading file data into them as
// it arrives. Memory that crosses the host boundary, or that the host may
// later free, must come from malloc, so the decoder keeps its buffers in
// these rather than in containers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "format/byte_source.h"
#include "format/status.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace yafa {

// Frames of a gigapixel fill gigabytes of fresh pages, and on virtual
// machines faulting them in one 4 KiB page at a time costs more than the
// pixel work. Blocks at least this large ask for huge pages where the
// system grants them on request.
inline constexpr size_t kHugePageAdviceBytes = size_t{32} << 20;

inline void AdviseHugePages([[maybe_unused]] void* block, [[maybe_unused]] size_t n) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (!block || n < kHugePageAdviceBytes) return;
    constexpr uintptr_t kPage = 4096;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(block) + kPage - 1) & ~(kPage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + n) & ~(kPage - 1);
    if (end > start) (void)madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#endif
}

struct FreeDeleter {
    void operator()(void* p) const noexcept { std::free(p); }
};

using MallocBytes = std::unique_ptr<uint8_t[], FreeDeleter>;

inline MallocBytes AllocBytes(size_t n) noexcept {
    // malloc(0) may return null; one byte keeps "null means failure" true.
    void* block = std::malloc(n ? n : 1);
    AdviseHugePages(block, n);
    return MallocBytes(static_cast<uint8_t*>(block));
}

inline MallocBytes AllocZeroedBytes(size_t n) noexcept {
    void* block = std::calloc(n ? n : 1, 1);
    AdviseHugePages(block, n);
    return MallocBytes(static_cast<uint8_t*>(block));
}

// Grows (or shrinks) `block` to `size` bytes, keeping its contents. On
// failure the old block stays owned by `block`, so the caller's cleanup
// frees it.
inline bool Resize(MallocBytes& block, size_t size) noexcept {
    void* grown = std::realloc(block.get(), size ? size : 1);
    if (grown == nullptr) return false;
    (void)block.release();
    block.reset(static_cast<uint8_t*>(grown));
    return true;
}

// Declared lengths up to this are read at once into a block of their size;
// above it, the block grows with the bytes that really arrive, so that a few
// bytes claiming gigabytes cost only what the file holds.
inline constexpr size_t kTrustedReadBytes = size_t{1} << 20;

// Bytes read from a source: `held` of them valid after `front` bytes the
// caller fills; the block holds `capacity` bytes in all.
struct ReadBlock {
    MallocBytes bytes;
    size_t front = 0;
    size_t held = 0;
    size_t capacity = 0;
};

// Reads up to `length` bytes, fewer only where the data ends.
inline Status ReadAsTheyArrive(ByteSource& source, uint64_t length, size_t front, ReadBlock* block) noexcept {
    block->front = front;
    block->held = 0;
    size_t capacity = front + static_cast<size_t>(length < kTrustedReadBytes ? length : kTrustedReadBytes);
    block->bytes = AllocBytes(capacity);
    YAFA_CHECK(block->bytes, OutOfMemory);
    for (;;) {
        const size_t want = capacity - front - block->held;
        const size_t got = source.Read(block->bytes.get() + front + block->held, want);
        block->held += got;
        if (got < want || block->held == length) break;
        // The block is full and more was declared: take twice the room.
        const uint64_t rest = length - block->held;
        capacity = front + block->held + static_cast<size_t>(rest < block->held ? rest : block->held);
        YAFA_CHECK(Resize(block->bytes, capacity), OutOfMemory);
    }
    block->capacity = capacity;
    return Status::Ok;
}

}  // namespace yafa
