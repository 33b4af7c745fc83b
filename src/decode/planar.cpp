#include "decode/planar.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// x86-64 processors with AVX-512 VBMI and GFNI take a 64-byte path chosen at
// run time; it gives the same bytes as the others. YAFA_PORTABLE_PIXELS
// leaves it out.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(YAFA_PORTABLE_PIXELS)
#define YAFA_AVX512_PLANAR 1
#include <immintrin.h>
#else
#define YAFA_AVX512_PLANAR 0
#endif

namespace yafa {
namespace {

// kSpread[b] holds bit 7 - k of b in the lowest bit of pixel k's byte, so
// that one lookup turns a plane byte into eight pixel bits, and shifting by
// p moves them to plane p's bit.
constexpr std::array<uint64_t, 256> MakeSpreadTable() {
    std::array<uint64_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        uint64_t v = 0;
        for (unsigned k = 0; k < 8; ++k) {
            const uint64_t bit = (b >> (7 - k)) & 1;
            const unsigned byteIndex = std::endian::native == std::endian::little ? k : 7 - k;
            v |= bit << (8 * byteIndex);
        }
        table[b] = v;
    }
    return table;
}
constexpr auto kSpread = MakeSpreadTable();

constexpr uint32_t kMaxPlanes = 8;

// The eight pixels of byte j of each plane's row.
template <uint32_t Planes>
inline uint64_t EightPixels(const uint8_t* row, size_t planeBytes, size_t j) noexcept {
    uint64_t eight = 0;
    for (uint32_t p = 0; p < Planes; ++p) eight |= kSpread[row[p * planeBytes + j]] << p;
    return eight;
}

#if defined(__SSE2__)
// Exchanges the bits of `a` at the positions whose bit S is set with the
// bits of `b` at the positions whose bit S is clear, within every byte.
template <int S>
inline void SwapBits(__m128i& a, __m128i& b, __m128i mask) noexcept {
    const __m128i t = _mm_and_si128(_mm_xor_si128(_mm_srli_epi64(a, S), b), mask);
    b = _mm_xor_si128(b, t);
    a = _mm_xor_si128(a, _mm_slli_epi64(t, S));
}

// 128 pixels from 16 bytes of each plane. Planes past `Planes` are zero, so
// the compiler drops most of their work.
template <uint32_t Planes>
inline void Convert128(const uint8_t* row, size_t planeBytes, uint8_t* out) noexcept {
    __m128i v[8];
    for (uint32_t p = 0; p < 8; ++p)
        v[p] = p < Planes ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + p * planeBytes))
                          : _mm_setzero_si128();
    // Transpose each byte position's 8 x 8 bit matrix (plane, bit): byte j
    // of v[u] then holds pixel 8j + 7 - u, with plane p's bit in bit p.
    const __m128i m4 = _mm_set1_epi8(0x0F), m2 = _mm_set1_epi8(0x33), m1 = _mm_set1_epi8(0x55);
    SwapBits<4>(v[0], v[4], m4), SwapBits<4>(v[1], v[5], m4), SwapBits<4>(v[2], v[6], m4), SwapBits<4>(v[3], v[7], m4);
    SwapBits<2>(v[0], v[2], m2), SwapBits<2>(v[1], v[3], m2), SwapBits<2>(v[4], v[6], m2), SwapBits<2>(v[5], v[7], m2);
    SwapBits<1>(v[0], v[1], m1), SwapBits<1>(v[2], v[3], m1), SwapBits<1>(v[4], v[5], m1), SwapBits<1>(v[6], v[7], m1);
    // q[k] byte j is pixel 8j + k. Three rounds of byte interleaving move
    // k into the low three bits of the byte address, pixel order.
    auto Q = [&v](int k) { return v[7 - k]; };
    __m128i a[4], b[4];
    for (int k = 0; k < 4; ++k) {
        a[k] = _mm_unpacklo_epi8(Q(k), Q(k + 4));  // pixels 0..63
        b[k] = _mm_unpackhi_epi8(Q(k), Q(k + 4));  // pixels 64..127
    }
    __m128i c[8];
    for (int k = 0; k < 2; ++k) {
        c[0 + k] = _mm_unpacklo_epi8(a[k], a[k + 2]);
        c[2 + k] = _mm_unpackhi_epi8(a[k], a[k + 2]);
        c[4 + k] = _mm_unpacklo_epi8(b[k], b[k + 2]);
        c[6 + k] = _mm_unpackhi_epi8(b[k], b[k + 2]);
    }
    for (int g = 0; g < 4; ++g) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32 * g), _mm_unpacklo_epi8(c[2 * g], c[2 * g + 1]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32 * g + 16), _mm_unpackhi_epi8(c[2 * g], c[2 * g + 1]));
    }
}
#endif

#if YAFA_AVX512_PLANAR
#define YAFA_AVX512_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi,gfni")))
#if defined(__GNUC__) && !defined(__clang__)
// GCC's AVX-512 intrinsics start some results from a deliberately undefined
// vector, which its flow analysis reports.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

bool HasAvx512Gfni() noexcept {
    return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi") &&
           __builtin_cpu_supports("gfni");
}

// 512 pixels a step, from 64 bytes of each plane. Three rounds of byte
// interleaving gather the eight planes' bytes of each 8-pixel group into one
// 64-bit word, plane p in byte 7 - p; one affine transform over GF(2) then
// transposes every such 8 x 8 bit matrix into the group's pixels. Returns
// the number of plane bytes done.
template <uint32_t Planes>
YAFA_AVX512_TARGET size_t WideConvert(const uint8_t* row, size_t planeBytes, size_t bytes, uint8_t* out) noexcept {
    // The interleaving works within 16-byte lanes; with the bytes first put
    // in this order (position 16L + 2m + q holds group 8m + 2L + q), the
    // m-th result holds groups 8m .. 8m + 7 in order.
    alignas(64) uint8_t order[64];
    for (int lane = 0; lane < 4; ++lane)
        for (int m = 0; m < 8; ++m)
            for (int q = 0; q < 2; ++q) order[16 * lane + 2 * m + q] = uint8_t(8 * m + 2 * lane + q);
    const __m512i shuffle = _mm512_load_si512(order);
    // Byte k of each word selects bit 7 - k of every plane byte: pixel k.
    const __m512i select = _mm512_set1_epi64(0x0102040810204080);
    size_t j = 0;
    for (; j + 64 <= bytes; j += 64) {
        __m512i p[8];
        for (uint32_t i = 0; i < 8; ++i)
            p[i] = i < Planes ? _mm512_permutexvar_epi8(shuffle, _mm512_loadu_si512(row + i * planeBytes + j))
                              : _mm512_setzero_si512();
        __m512i w[8], d[8];
        for (int h = 0; h < 4; ++h) {  // words: planes 7-2h, 6-2h
            w[2 * h] = _mm512_unpacklo_epi8(p[7 - 2 * h], p[6 - 2 * h]);
            w[2 * h + 1] = _mm512_unpackhi_epi8(p[7 - 2 * h], p[6 - 2 * h]);
        }
        for (int h1 = 0; h1 < 2; ++h1) {  // double words: planes 7..4 and 3..0
            d[2 * h1] = _mm512_unpacklo_epi16(w[h1], w[2 + h1]);
            d[2 * h1 + 1] = _mm512_unpackhi_epi16(w[h1], w[2 + h1]);
            d[4 + 2 * h1] = _mm512_unpacklo_epi16(w[4 + h1], w[6 + h1]);
            d[4 + 2 * h1 + 1] = _mm512_unpackhi_epi16(w[4 + h1], w[6 + h1]);
        }
        for (int m = 0; m < 4; ++m) {  // m = 2 h1 + h2
            const __m512i lo = _mm512_unpacklo_epi32(d[m], d[4 + m]);
            const __m512i hi = _mm512_unpackhi_epi32(d[m], d[4 + m]);
            _mm512_storeu_si512(out + 8 * j + 64 * (2 * m), _mm512_gf2p8affine_epi64_epi8(select, lo, 0));
            _mm512_storeu_si512(out + 8 * j + 64 * (2 * m + 1), _mm512_gf2p8affine_epi64_epi8(select, hi, 0));
        }
    }
    return j;
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

// Pixels 0 .. 8 × bytes - 1 of a run of whole plane bytes.
template <uint32_t Planes>
void ConvertWholeBytes(const uint8_t* row, size_t planeBytes, size_t bytes, uint8_t* out) noexcept {
    size_t j = 0;
#if YAFA_AVX512_PLANAR
    if (bytes >= 64 && HasAvx512Gfni()) j = WideConvert<Planes>(row, planeBytes, bytes, out);
#endif
#if defined(__SSE2__)
    for (; j + 16 <= bytes; j += 16) Convert128<Planes>(row + j, planeBytes, out + 8 * j);
#endif
    for (; j < bytes; ++j) {
        const uint64_t eight = EightPixels<Planes>(row, planeBytes, j);
        std::memcpy(out + 8 * j, &eight, 8);
    }
}

template <uint32_t Planes>
void Convert(const uint8_t* planar, size_t planeBytes, uint32_t width, uint32_t height, uint32_t rowBytes,
             uint8_t* pixels) noexcept {
    const uint32_t wholeBytes = width / 8;
    const uint32_t tailPixels = width % 8;
    // Rows without unused bits lie back to back in each plane, just as the
    // pixel rows do: the picture is then one long row.
    if (tailPixels == 0 && rowBytes == wholeBytes) {
        ConvertWholeBytes<Planes>(planar, planeBytes, size_t(wholeBytes) * height, pixels);
        return;
    }
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = planar + size_t(y) * rowBytes;
        uint8_t* out = pixels + size_t(y) * width;
        ConvertWholeBytes<Planes>(row, planeBytes, wholeBytes, out);
        if (tailPixels) {
            const uint64_t eight = EightPixels<Planes>(row, planeBytes, wholeBytes);
            uint8_t bytes[8];
            std::memcpy(bytes, &eight, 8);
            std::memcpy(out + 8 * size_t(wholeBytes), bytes, tailPixels);
        }
    }
}

using ConvertFn = void (*)(const uint8_t*, size_t, uint32_t, uint32_t, uint32_t, uint8_t*) noexcept;
constexpr ConvertFn kConvert[kMaxPlanes + 1] = {Convert<0>, Convert<1>, Convert<2>, Convert<3>, Convert<4>,
                                                Convert<5>, Convert<6>, Convert<7>, Convert<8>};

}  // namespace

void PlanarToChunky(const uint8_t* planar, uint32_t planeBytes, uint32_t planes, uint32_t width, uint32_t height,
                    uint32_t rowBytes, uint8_t* pixels) noexcept {
    if (planes > kMaxPlanes) planes = kMaxPlanes;
    kConvert[planes](planar, planeBytes, width, height, rowBytes, pixels);
}

}  // namespace yafa
