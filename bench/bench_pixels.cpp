// The pixel paths on one 320 x 256 frame: bitplanes to chunky pixels, every
// ConvertPixels path, and applying a byte-run delta. Each first checks its
// result against a plain per-pixel model, so a fast path that goes wrong is
// reported instead of measured.
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "anim/anim_handle.h"
#include "bench_data.h"
#include "bench_register.h"
#include "decode/convert_pixels.h"
#include "decode/delta.h"
#include "decode/planar.h"
#include "delta_encoder.h"
#include "planar_encoder.h"

namespace yafa::bench {

namespace {

constexpr uint32_t kWidth = 320;
constexpr uint32_t kHeight = 256;
constexpr uint32_t kPixels = kWidth * kHeight;
constexpr uint32_t kRowBytes = (kWidth + 15) / 16 * 2;
constexpr uint32_t kPlaneBytes = kRowBytes * kHeight;
constexpr int kDeltaPlanes = 5;

// Output sizes whose memcpy baseline the report compares against.
std::set<size_t>& OutputSizes() {
    static std::set<size_t> sizes;
    return sizes;
}

// --- Models, one pixel at a time --------------------------------------------

Bytes ModelPlanar(const Bytes& planar, uint32_t planes) {
    Bytes out(kPixels, 0);
    for (uint32_t p = 0; p < planes && p < 8; ++p)
        for (uint32_t y = 0; y < kHeight; ++y)
            for (uint32_t x = 0; x < kWidth; ++x) {
                const uint8_t byte = planar[p * kPlaneBytes + y * kRowBytes + x / 8];
                out[y * kWidth + x] |= uint8_t(((byte >> (7 - x % 8)) & 1) << p);
            }
    return out;
}

void Put(Bytes& out, size_t n, uint32_t v) { std::memcpy(out.data() + 4 * n, &v, 4); }

Bytes ModelConvert(const AnimHandle& anim, const Bytes& source, int32_t bytesPerPixel) {
    if (!anim.isHam() && anim.depth <= 8 && bytesPerPixel == 1) return Bytes(source.begin(), source.begin() + kPixels);
    Bytes out(size_t{kPixels} * 4, 0);
    if (anim.isHam()) {
        const uint32_t valueBits = anim.depth == 6 ? 4 : 6;
        for (uint32_t y = 0; y < kHeight; ++y) {
            uint32_t r = 0, g = 0, b = 0;
            for (uint32_t x = 0; x < kWidth; ++x) {
                const uint32_t v = source[y * kWidth + x], c = v >> valueBits;
                const uint32_t part = (v & ((1u << valueBits) - 1)) << (8 - valueBits);
                if (c == 0) {
                    r = anim.palette[v] >> 16 & 255, g = anim.palette[v] >> 8 & 255, b = anim.palette[v] & 255;
                } else if (c == 1) {
                    b = part;
                } else if (c == 2) {
                    r = part;
                } else if (c == 3) {
                    g = part;
                }
                Put(out, y * kWidth + x, r << 16 | g << 8 | b);
            }
        }
    } else {
        for (uint32_t n = 0; n < kPixels; ++n) {
            uint32_t v;
            if (anim.depth == 15) {
                const uint32_t w = uint32_t(source[2 * n]) << 8 | source[2 * n + 1];
                v = (w >> 10 & 31) << 19 | (w >> 5 & 31) << 11 | (w & 31) << 3;
            } else if (anim.depth == 24) {
                v = uint32_t(source[3 * n]) << 16 | uint32_t(source[3 * n + 1]) << 8 | source[3 * n + 2];
            } else {
                v = anim.palette[source[n]];
            }
            Put(out, n, v);
        }
    }
    return out;
}

// --- Inputs -----------------------------------------------------------------

// A smooth picture with some edges, for the HAM encoder.
std::vector<uint32_t> Picture() {
    std::vector<uint32_t> rgb(kPixels);
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x) {
            const int dx = int(x) - 160, dy = int(y) - 128;
            const bool disc = dx * dx + dy * dy < 90 * 90;
            const uint32_t r = disc ? 255 - y : x * 255 / kWidth, g = disc ? x / 2 : y;
            const uint32_t b = ((x / 40 + y / 32) & 1) * 200;
            rgb[y * kWidth + x] = r << 16 | g << 8 | b;
        }
    return rgb;
}

AnimHandle MakeAnim(int32_t depth, int32_t flags) {
    AnimHandle anim{};
    anim.width = kWidth, anim.height = kHeight, anim.depth = depth, anim.flags = flags;
    anim.planeRowBytes = kRowBytes, anim.planeBytes = kPlaneBytes;
    for (uint32_t i = 0; i < 256; ++i) anim.palette[i] = (i * 97 & 255) << 16 | (i * 31 & 255) << 8 | (255 - i);
    return anim;
}

// --- Benchmarks -------------------------------------------------------------

void PlanarBenchmark(benchmark::State& state, uint32_t depth) {
    const Bytes planar = RandomBytes(size_t{kPlaneBytes} * depth, depth);
    Bytes pixels(kPixels);
    PlanarToChunky(planar.data(), kPlaneBytes, depth, kWidth, kHeight, kRowBytes, pixels.data());
    if (pixels != ModelPlanar(planar, depth)) {
        state.SkipWithError("PlanarToChunky differs from the model");
        return;
    }
    for (auto _ : state) {
        PlanarToChunky(planar.data(), kPlaneBytes, depth, kWidth, kHeight, kRowBytes, pixels.data());
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kPixels);
    state.counters["out_bytes"] = kPixels;
}

struct ConvertCase {
    const char* name;
    int32_t depth;
    int32_t flags;
    int32_t bytesPerPixel;
};

constexpr ConvertCase kConvertCases[] = {
    {"palette", 8, 0, 4}, {"rgb15", 15, 0, 4},       {"rgb24", 24, 0, 4},
    {"ham6", 6, YAFA_HAM, 4}, {"ham8", 8, YAFA_HAM, 4}, {"index", 8, 0, 1},
};

void ConvertBenchmark(benchmark::State& state, const ConvertCase& c) {
    const AnimHandle anim = MakeAnim(c.depth, c.flags);
    Bytes source;
    if (c.flags & YAFA_HAM) {
        const uint32_t bases = c.depth == 6 ? 16 : 64;
        const std::vector<uint32_t> base(anim.palette, anim.palette + bases);
        source = encode::EncodeHam(Picture(), kWidth, kHeight, base, c.depth);
    } else {
        source = RandomBytes(size_t{kPixels} * (c.depth == 15 ? 2 : c.depth == 24 ? 3 : 1), uint64_t(c.depth));
    }
    const size_t outBytes = size_t{kPixels} * uint32_t(c.bytesPerPixel);
    Bytes output(outBytes);
    ConvertPixels(anim, source.data(), output.data(), c.bytesPerPixel);
    if (output != ModelConvert(anim, source, c.bytesPerPixel)) {
        state.SkipWithError("ConvertPixels differs from the model");
        return;
    }
    for (auto _ : state) {
        ConvertPixels(anim, source.data(), output.data(), c.bytesPerPixel);
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(outBytes));
    state.counters["out_bytes"] = double(outBytes);
}

// A ball of radius 40 over a patterned background, moved by 12 pixels right
// and 6 down (two frames of motion, as a delta reaches back two frames).
Bytes BallScene(int cx, int cy) {
    Bytes pixels(kPixels);
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x) {
            const int dx = int(x) - cx, dy = int(y) - cy, d = dx * dx + dy * dy;
            uint8_t c = y < 120 ? uint8_t((y / 30 + ((x ^ y) & 1)) & 7) : uint8_t(8 + ((x / 24 + y / 16) & 1));
            if (d < 40 * 40) c = uint8_t(16 + d * 16 / (40 * 40));
            pixels[y * kWidth + x] = c;
        }
    return pixels;
}

void DeltaBenchmark(benchmark::State& state, int unit) {
    const Bytes from = encode::ToPlanar(BallScene(120, 100), kWidth, kHeight, kDeltaPlanes);
    const Bytes to = encode::ToPlanar(BallScene(132, 106), kWidth, kHeight, kDeltaPlanes);
    const encode::DeltaGeometry geometry = encode::MakeDeltaGeometry(kWidth, kHeight, kDeltaPlanes, unit);
    const Bytes delta = encode::EncodeDelta(from, to, geometry);

    AnimHandle anim = MakeAnim(kDeltaPlanes, YAFA_DELTA);
    anim.deltaUnit = unit;
    anim.deltaUnitsPerRow = int32_t(geometry.unitsPerRow);
    anim.backBufferSize = kPlaneBytes * kDeltaPlanes;
    // The ops write whole elements, so applying the frame again leaves the
    // buffer as it is: every iteration does the same work.
    Bytes target = from;
    if (ApplyDelta(anim, delta, target.data()) != Status::Ok || target != to) {
        state.SkipWithError("ApplyDelta does not give the next frame");
        return;
    }
    for (auto _ : state) {
        if (ApplyDelta(anim, delta, target.data()) != Status::Ok) {
            state.SkipWithError("ApplyDelta failed");
            break;
        }
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(target.size()));
    state.counters["out_bytes"] = double(target.size());
    state.counters["delta_bytes"] = double(delta.size());
}

}  // namespace

void RegisterPixels() {
    for (uint32_t depth : {1u, 4u, 8u}) {
        benchmark::RegisterBenchmark(("BM_Planar/" + std::to_string(depth)).c_str(),
                                     [depth](benchmark::State& s) { PlanarBenchmark(s, depth); })
            ->Unit(benchmark::kMicrosecond);
    }
    OutputSizes().insert(kPixels);
    for (const ConvertCase& c : kConvertCases) {
        benchmark::RegisterBenchmark((std::string("BM_Convert/") + c.name).c_str(),
                                     [&c](benchmark::State& s) { ConvertBenchmark(s, c); })
            ->Unit(benchmark::kMicrosecond);
        OutputSizes().insert(size_t{kPixels} * uint32_t(c.bytesPerPixel));
    }
    OutputSizes().insert(size_t{kPlaneBytes} * kDeltaPlanes);
    for (int unit : {1, 2, 4}) {
        benchmark::RegisterBenchmark(("BM_Delta/" + std::to_string(unit)).c_str(),
                                     [unit](benchmark::State& s) { DeltaBenchmark(s, unit); })
            ->Unit(benchmark::kMicrosecond);
    }
    for (size_t n : OutputSizes()) {
        benchmark::RegisterBenchmark(("BM_Baseline/memcpy/" + std::to_string(n)).c_str(),
                                     [n](benchmark::State& s) {
                                         const Bytes source = RandomBytes(n, n);
                                         MemcpyLoop(s, source.data(), n);
                                     })
            ->Unit(benchmark::kMicrosecond);
    }
}

}  // namespace yafa::bench
