// Owner of a block from the C allocator. Memory that crosses the host
// boundary, or that the host may later free, must come from malloc, so the
// decoder keeps its buffers in these rather than in containers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace yafa {

struct FreeDeleter {
    void operator()(void* p) const noexcept { std::free(p); }
};

using MallocBytes = std::unique_ptr<uint8_t[], FreeDeleter>;

inline MallocBytes AllocBytes(size_t n) noexcept {
    // malloc(0) may return null; one byte keeps "null means failure" true.
    return MallocBytes(static_cast<uint8_t*>(std::malloc(n ? n : 1)));
}

inline MallocBytes AllocZeroedBytes(size_t n) noexcept {
    return MallocBytes(static_cast<uint8_t*>(std::calloc(n ? n : 1, 1)));
}

}  // namespace yafa
