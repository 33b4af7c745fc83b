// The benchmark groups; main registers them in this order.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>

namespace yafa::bench {

void RegisterUnpack();  // BM_Unpack/<method>/<data>, BM_Baseline/{memcpy,zlib}/<data>
void RegisterPixels();  // BM_Planar, BM_Convert, BM_Delta, BM_Baseline/memcpy/<bytes>
void RegisterPlay();    // BM_Play/<example>

// The loop of every memcpy baseline: `n` bytes from `source` each iteration.
void MemcpyLoop(benchmark::State& state, const uint8_t* source, size_t n);

}  // namespace yafa::bench
