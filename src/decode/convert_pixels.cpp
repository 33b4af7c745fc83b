#include "decode/convert_pixels.h"

#include <cstring>

// x86-64 processors with AVX-512 VBMI take 64-byte paths for the palette
// lookup and the true-colour layouts, chosen at run time; every other
// processor, and the last pixels of a frame, take the portable loops, which
// give the same bytes. YAFA_PORTABLE_PIXELS leaves the wide paths out.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(YAFA_PORTABLE_PIXELS)
#define YAFA_AVX512_PIXELS 1
#include <immintrin.h>
#else
#define YAFA_AVX512_PIXELS 0
#endif
// WebAssembly builds with SIMD take 16-pixel paths for small palettes and
// 24-bit pixels, which give the same bytes as the portable loops.
#if defined(__wasm_simd128__) && !defined(YAFA_PORTABLE_PIXELS)
#define YAFA_WASM_PIXELS 1
#include <wasm_simd128.h>
#else
#define YAFA_WASM_PIXELS 0
#endif

namespace yafa {
namespace {

inline void Store(uint8_t* output, size_t n, uint32_t rgb) noexcept { std::memcpy(output + 4 * n, &rgb, 4); }

#if YAFA_AVX512_PIXELS
#define YAFA_AVX512_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi")))
#if defined(__GNUC__) && !defined(__clang__)
// GCC's AVX-512 intrinsics start some results from a deliberately undefined
// vector, which its flow analysis reports.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

bool HasAvx512Vbmi() noexcept { return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi"); }

// 64 pixels a step. Byte c of the palette entries is a 256-byte table in
// four registers; two byte permutes look up the halves and the index's top
// bit picks one. Returns the number of pixels done.
YAFA_AVX512_TARGET size_t WidePaletteLookup(const uint32_t* palette, const uint8_t* source, uint8_t* output,
                                            size_t count) noexcept {
    if (count < 64) return 0;
    alignas(64) uint8_t tables[4][256];
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 4; ++c) tables[c][i] = uint8_t(palette[i] >> (8 * c));
    __m512i t[4][4];
    for (int c = 0; c < 4; ++c)
        for (int q = 0; q < 4; ++q) t[c][q] = _mm512_load_si512(tables[c] + 64 * q);
    // The interleaving below works within 16-byte lanes, so the indices go
    // in lane order: byte 16L + 4k + i is pixel 16k + 4L + i, and the k-th
    // result then holds pixels 16k .. 16k + 15 in order.
    alignas(64) uint8_t order[64];
    for (int lane = 0; lane < 4; ++lane)
        for (int k = 0; k < 4; ++k)
            for (int i = 0; i < 4; ++i) order[16 * lane + 4 * k + i] = uint8_t(16 * k + 4 * lane + i);
    const __m512i shuffle = _mm512_load_si512(order);
    size_t n = 0;
    for (; n + 64 <= count; n += 64) {
        const __m512i index = _mm512_permutexvar_epi8(shuffle, _mm512_loadu_si512(source + n));
        const __mmask64 high = _mm512_movepi8_mask(index);
        __m512i b[4];
        for (int c = 0; c < 4; ++c)
            b[c] = _mm512_mask_blend_epi8(high, _mm512_permutex2var_epi8(t[c][0], index, t[c][1]),
                                          _mm512_permutex2var_epi8(t[c][2], index, t[c][3]));
        const __m512i lo01 = _mm512_unpacklo_epi8(b[0], b[1]), hi01 = _mm512_unpackhi_epi8(b[0], b[1]);
        const __m512i lo23 = _mm512_unpacklo_epi8(b[2], b[3]), hi23 = _mm512_unpackhi_epi8(b[2], b[3]);
        uint8_t* out = output + 4 * n;
        _mm512_storeu_si512(out, _mm512_unpacklo_epi16(lo01, lo23));
        _mm512_storeu_si512(out + 64, _mm512_unpackhi_epi16(lo01, lo23));
        _mm512_storeu_si512(out + 128, _mm512_unpacklo_epi16(hi01, hi23));
        _mm512_storeu_si512(out + 192, _mm512_unpackhi_epi16(hi01, hi23));
    }
    return n;
}

// 16 pixels a step: a byte permute puts each pixel's bytes into its word
// (big-endian u16 for RGB15, R G B for RGB24) and zeroes the rest. The loads
// are masked to the pixels' own bytes, so nothing past the source is read.
YAFA_AVX512_TARGET size_t WideRgb15(const uint8_t* source, uint8_t* output, size_t count) noexcept {
    alignas(64) uint8_t order[64];
    for (int n = 0; n < 16; ++n) {
        order[4 * n] = uint8_t(2 * n + 1);
        order[4 * n + 1] = uint8_t(2 * n);
        order[4 * n + 2] = order[4 * n + 3] = 0;
    }
    const __m512i shuffle = _mm512_load_si512(order);
    const __mmask64 low16 = 0x3333333333333333u;
    size_t n = 0;
    for (; n + 16 <= count; n += 16) {
        const __m512i pair = _mm512_maskz_loadu_epi8(0xFFFFFFFFu, source + 2 * n);
        const __m512i v = _mm512_maskz_permutexvar_epi8(low16, shuffle, pair);
        const __m512i r = _mm512_and_si512(_mm512_slli_epi32(v, 9), _mm512_set1_epi32(0xF80000));
        const __m512i g = _mm512_and_si512(_mm512_slli_epi32(v, 6), _mm512_set1_epi32(0xF800));
        const __m512i b = _mm512_and_si512(_mm512_slli_epi32(v, 3), _mm512_set1_epi32(0xF8));
        _mm512_storeu_si512(output + 4 * n, _mm512_or_si512(_mm512_or_si512(r, g), b));
    }
    return n;
}

YAFA_AVX512_TARGET size_t WideRgb24(const uint8_t* source, uint8_t* output, size_t count) noexcept {
    alignas(64) uint8_t order[64];
    for (int n = 0; n < 16; ++n) {
        order[4 * n] = uint8_t(3 * n + 2);
        order[4 * n + 1] = uint8_t(3 * n + 1);
        order[4 * n + 2] = uint8_t(3 * n);
        order[4 * n + 3] = 0;
    }
    const __m512i shuffle = _mm512_load_si512(order);
    const __mmask64 low24 = 0x7777777777777777u;
    size_t n = 0;
    for (; n + 16 <= count; n += 16) {
        const __m512i rgb = _mm512_maskz_loadu_epi8(0xFFFFFFFFFFFFu, source + 3 * n);
        _mm512_storeu_si512(output + 4 * n, _mm512_maskz_permutexvar_epi8(low24, shuffle, rgb));
    }
    return n;
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

#if YAFA_WASM_PIXELS
// Bytes 0-3, 4-7, 8-11 and 12-15 of `b`, `g` and `r` as sixteen 0x00RRGGBB.
inline void StoreSixteen(uint8_t* out, v128_t b, v128_t g, v128_t r) noexcept {
    const v128_t zero = wasm_i32x4_const_splat(0);
    const v128_t bgLow = wasm_i8x16_shuffle(b, g, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    const v128_t bgHigh = wasm_i8x16_shuffle(b, g, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
    const v128_t rLow = wasm_i8x16_shuffle(r, zero, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    const v128_t rHigh = wasm_i8x16_shuffle(r, zero, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
    wasm_v128_store(out, wasm_i16x8_shuffle(bgLow, rLow, 0, 8, 1, 9, 2, 10, 3, 11));
    wasm_v128_store(out + 16, wasm_i16x8_shuffle(bgLow, rLow, 4, 12, 5, 13, 6, 14, 7, 15));
    wasm_v128_store(out + 32, wasm_i16x8_shuffle(bgHigh, rHigh, 0, 8, 1, 9, 2, 10, 3, 11));
    wasm_v128_store(out + 48, wasm_i16x8_shuffle(bgHigh, rHigh, 4, 12, 5, 13, 6, 14, 7, 15));
}

// Palettes of up to 16 × Chunks colours: each colour byte is a table of
// Chunks vectors, and a swizzle (0 for lane indices past 15) looks up each;
// chunk c sees the index less 16c, which wraps past 15 below it. A group of
// 16 pixels with an index past the tables takes the portable loop.
template <unsigned Chunks>
size_t SmallPaletteLookup(const uint32_t* palette, const uint8_t* source, uint8_t* output, size_t count) noexcept {
    alignas(16) uint8_t bytes[3][Chunks * 16];
    for (unsigned i = 0; i < Chunks * 16; ++i) {
        if (palette[i] >> 24) return 0;  // the layout below leaves the top byte 0
        for (unsigned c = 0; c < 3; ++c) bytes[c][i] = uint8_t(palette[i] >> (8 * c));
    }
    v128_t tables[3][Chunks];
    for (unsigned c = 0; c < 3; ++c)
        for (unsigned k = 0; k < Chunks; ++k) tables[c][k] = wasm_v128_load(bytes[c] + 16 * k);
    const v128_t last = wasm_u8x16_splat(uint8_t(Chunks * 16 - 1));
    size_t n = 0;
    for (; n + 16 <= count; n += 16) {
        const v128_t index = wasm_v128_load(source + n);
        if (wasm_v128_any_true(wasm_u8x16_gt(index, last))) {
            for (size_t k = n; k < n + 16; ++k) Store(output, k, palette[source[k]]);
            continue;
        }
        v128_t lane[3] = {wasm_i8x16_swizzle(tables[0][0], index), wasm_i8x16_swizzle(tables[1][0], index),
                          wasm_i8x16_swizzle(tables[2][0], index)};
        for (unsigned k = 1; k < Chunks; ++k) {
            const v128_t shifted = wasm_i8x16_sub(index, wasm_u8x16_splat(uint8_t(16 * k)));
            for (unsigned c = 0; c < 3; ++c) lane[c] = wasm_v128_or(lane[c], wasm_i8x16_swizzle(tables[c][k], shifted));
        }
        StoreSixteen(output + 4 * n, lane[0], lane[1], lane[2]);
    }
    return n;
}

// Pixels the small-palette paths take, for frames of 2^planes colours.
size_t WasmPaletteLookup(const uint32_t* palette, const uint8_t* source, uint8_t* output, size_t count,
                         uint32_t planes) noexcept {
    if (planes <= 4) return SmallPaletteLookup<1>(palette, source, output, count);
    if (planes == 5) return SmallPaletteLookup<2>(palette, source, output, count);
    if (planes == 6) return SmallPaletteLookup<4>(palette, source, output, count);
    return 0;  // past 64 colours the swizzles cost more than plain lookups
}

// 16 pixels of 3 bytes a step: four byte shuffles reorder them to
// 0x00RRGGBB, and a mask clears the byte each leaves over.
size_t WasmRgb24(const uint8_t* source, uint8_t* output, size_t count) noexcept {
    const v128_t mask = wasm_i32x4_const_splat(0x00FFFFFF);
    size_t n = 0;
    for (; n + 16 <= count; n += 16) {
        const uint8_t* in = source + 3 * n;
        const v128_t a = wasm_v128_load(in), b = wasm_v128_load(in + 16), c = wasm_v128_load(in + 32);
        uint8_t* out = output + 4 * n;
        wasm_v128_store(out, wasm_v128_and(mask, wasm_i8x16_shuffle(a, b, 2, 1, 0, 0, 5, 4, 3, 0, 8, 7, 6, 0, 11, 10, 9, 0)));
        wasm_v128_store(out + 16,
                        wasm_v128_and(mask, wasm_i8x16_shuffle(a, b, 14, 13, 12, 0, 17, 16, 15, 0, 20, 19, 18, 0, 23, 22, 21, 0)));
        wasm_v128_store(out + 32,
                        wasm_v128_and(mask, wasm_i8x16_shuffle(b, c, 10, 9, 8, 0, 13, 12, 11, 0, 16, 15, 14, 0, 19, 18, 17, 0)));
        wasm_v128_store(out + 48,
                        wasm_v128_and(mask, wasm_i8x16_shuffle(c, c, 6, 5, 4, 0, 9, 8, 7, 0, 12, 11, 10, 0, 15, 14, 13, 0)));
    }
    return n;
}
#endif

void PaletteLookup(const uint32_t* palette, const uint8_t* source, uint8_t* output, size_t count,
                   [[maybe_unused]] uint32_t planes) noexcept {
    size_t n = 0;
#if YAFA_AVX512_PIXELS
    if (HasAvx512Vbmi()) n = WidePaletteLookup(palette, source, output, count);
#elif YAFA_WASM_PIXELS
    n = WasmPaletteLookup(palette, source, output, count, planes);
#endif
    // Eight lookups, then one block store: fewer stores than pixels.
    for (; n + 8 <= count; n += 8) {
        uint32_t eight[8];
        for (size_t k = 0; k < 8; ++k) eight[k] = palette[source[n + k]];
        std::memcpy(output + 4 * n, eight, sizeof eight);
    }
    for (; n < count; ++n) Store(output, n, palette[source[n]]);
}

void Rgb15(const uint8_t* source, uint8_t* output, size_t count) noexcept {
    size_t n = 0;
#if YAFA_AVX512_PIXELS
    if (HasAvx512Vbmi()) n = WideRgb15(source, output, count);
#endif
    for (; n < count; ++n) {
        const uint32_t v = (uint32_t{source[2 * n]} << 8) | source[2 * n + 1];
        Store(output, n, (((v >> 10) & 31) << 19) | (((v >> 5) & 31) << 11) | ((v & 31) << 3));
    }
}

void Rgb24(const uint8_t* source, uint8_t* output, size_t count) noexcept {
    size_t n = 0;
#if YAFA_AVX512_PIXELS
    if (HasAvx512Vbmi()) n = WideRgb24(source, output, count);
#elif YAFA_WASM_PIXELS
    n = WasmRgb24(source, output, count);
#endif
    for (; n < count; ++n) {
        Store(output, n, (uint32_t{source[3 * n]} << 16) | (uint32_t{source[3 * n + 1]} << 8) | source[3 * n + 2]);
    }
}

// Hold-and-modify: the top bits of a pixel name the component it changes;
// 0 loads a palette colour. Every row starts from black.
//
// Each of the 256 values becomes a pair (bits of the held colour it keeps,
// bits it sets), so a pixel is one lookup, an AND and an OR without any
// branch. Two rows go side by side, since each row's colour is a chain of
// dependent steps and the rows do not depend on one another.
template <unsigned kValueBits>
void Ham(const uint32_t* palette, const uint8_t* source, uint8_t* output, uint32_t width, uint32_t height) noexcept {
    constexpr unsigned kMask = (1u << kValueBits) - 1;
    constexpr unsigned kShift = 8 - kValueBits;
    uint64_t step[256];  // low word: bits kept; high word: bits set
    for (uint32_t v = 0; v < 256; ++v) {
        const uint32_t part = (v & kMask) << kShift;
        uint32_t keep = 0xFFFFFF, set = 0;  // HAM6 values of 64 and above hold the pixel before
        switch (v >> kValueBits) {
        case 0: keep = 0, set = palette[v] & 0xFFFFFF; break;
        case 1: keep = 0xFFFF00, set = part; break;
        case 2: keep = 0x00FFFF, set = part << 16; break;
        case 3: keep = 0xFF00FF, set = part << 8; break;
        default: break;
        }
        step[v] = uint64_t{set} << 32 | keep;
    }
    auto next = [&step](uint32_t rgb, uint8_t v) {
        const uint64_t s = step[v];
        return (rgb & uint32_t(s)) | uint32_t(s >> 32);
    };
    uint32_t y = 0;
    for (; y + 2 <= height; y += 2) {
        const uint8_t* a = source + size_t(y) * width;
        const uint8_t* b = a + width;
        uint8_t* outA = output + size_t(y) * width * 4;
        uint8_t* outB = outA + size_t(width) * 4;
        uint32_t rgbA = 0, rgbB = 0;
        for (uint32_t x = 0; x < width; ++x) {
            rgbA = next(rgbA, a[x]);
            rgbB = next(rgbB, b[x]);
            Store(outA, x, rgbA);
            Store(outB, x, rgbB);
        }
    }
    if (y < height) {
        const uint8_t* a = source + size_t(y) * width;
        uint8_t* outA = output + size_t(y) * width * 4;
        uint32_t rgb = 0;
        for (uint32_t x = 0; x < width; ++x) Store(outA, x, rgb = next(rgb, a[x]));
    }
}

}  // namespace

void ConvertPixels(const AnimHandle& anim, const uint8_t* source, uint8_t* output, int32_t bytesPerPixel) noexcept {
    const size_t count = anim.pixelCount();
    const auto width = uint32_t(anim.width);
    const auto height = uint32_t(anim.height);
    if (anim.isHam()) {
        if (anim.depth == 6) Ham<4>(anim.palette, source, output, width, height);
        else if (anim.depth == 8) Ham<6>(anim.palette, source, output, width, height);
    } else if (anim.depth == 15) {
        Rgb15(source, output, count);
    } else if (anim.depth == 24) {
        Rgb24(source, output, count);
    } else if (anim.depth <= 8) {
        if (bytesPerPixel == 1) std::memcpy(output, source, count);
        else if (bytesPerPixel == 4) PaletteLookup(anim.palette, source, output, count, uint32_t(anim.depth));
    }
}

}  // namespace yafa
