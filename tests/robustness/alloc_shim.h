/* A counting, failing C allocator for code linked with
 * -Wl,--wrap=malloc,--wrap=calloc,--wrap=realloc,--wrap=free: only the
 * objects of that link reach it, everything else keeps the real allocator.
 *
 * While armed (per thread) it counts allocation calls, tracks the blocks it
 * handed out (count, bytes, peak bytes), fails the allocation call chosen
 * with YafaAllocFailAt and refuses blocks above a size cap. Disarmed, it only
 * forwards. The test variant of the plugin module is armed from the start;
 * a fuzzer arms it around the calls into the plugin. */
#ifndef YAFA_ALLOC_SHIM_H
#define YAFA_ALLOC_SHIM_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct YafaAllocStats {
    uint64_t calls;       /* malloc, calloc and realloc calls since the last reset */
    uint64_t failed;      /* of those, failed on purpose (fail point or cap) */
    uint64_t liveBlocks;  /* blocks handed out while armed and not yet freed */
    uint64_t liveBytes;
    uint64_t peakBytes;   /* most liveBytes since the last reset of the peak */
    uint64_t largest;     /* largest block asked for since the last reset, refused ones included */
} YafaAllocStats;

/* Zeroes the call counters and the peak (the live blocks stay tracked) and
 * clears the fail point. */
void YafaAllocReset(void);
/* The nth allocation call from now (1-based) fails; with `persistent` every
 * later one fails too. 0: none fails. */
void YafaAllocFailAt(uint64_t n, int persistent);
/* Allocations of more than `bytes` fail; 0: no cap. */
void YafaAllocSetCap(size_t bytes);
/* The peak starts again from the bytes live now. */
void YafaAllocResetPeak(void);
void YafaAllocGetStats(YafaAllocStats *stats);
/* Arms or disarms the calling thread; returns the previous state. */
int YafaAllocArm(int armed);

typedef void (*YafaAllocResetFn)(void);
typedef void (*YafaAllocFailAtFn)(uint64_t, int);
typedef void (*YafaAllocSetCapFn)(size_t);
typedef void (*YafaAllocResetPeakFn)(void);
typedef void (*YafaAllocGetStatsFn)(YafaAllocStats *);

#ifdef __cplusplus
}
#endif

#endif
