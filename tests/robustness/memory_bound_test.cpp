// The most memory the plugin holds at once, measured with the counting
// variant of the module over the robustness corpus and the hostile and valid
// reference animations, against a bound that follows from the animation's
// own geometry (see fuzz/README.md, "Memory bound"). A file of a few hundred
// bytes must not make the plugin hold gigabytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "alloc_shim.h"
#include "anim/anim_handle.h"
#include "anim/geometry.h"
#include "anim_corpus.h"
#include "iff_writer.h"
#include "plugin_rig.h"
#include "unpack/xpk_chunk_job.h"

namespace yafa::robust {
namespace {

PluginRig& Rig() {
    static PluginRig rig(YAFA_COUNTING_PLUGIN_PATH);
    return rig;
}

YafaAllocStats Stats() {
    static const auto get = reinterpret_cast<YafaAllocGetStatsFn>(Rig().Symbol("YafaAllocGetStats"));
    YafaAllocStats s{};
    get(&s);
    return s;
}

void ResetPeak() {
    static const auto reset = reinterpret_cast<YafaAllocResetPeakFn>(Rig().Symbol("YafaAllocResetPeak"));
    reset();
}

// The INFO words as the plugin's chunk loop finds them before BODY: INFO,
// PROF and TTBL are read by their content, DRGB ends at its size, any other
// chunk is skipped by its size and pad byte. `frameCount` is the largest any
// INFO gave, since tables of that size may have been read.
struct Geometry {
    uint64_t width = 0, height = 0, depth = 0, frameCount = 0, format = 0, flags = 0;
};

Geometry GeometryOf(const Bytes& f) {
    Geometry g;
    auto u16 = [&](uint64_t at) -> uint64_t {
        // readByte answers -1 past the end; the reader keeps the low 16 bits.
        const uint32_t b0 = at < f.size() ? f[at] : 0xFFFFFFFFu;
        const uint32_t b1 = at + 1 < f.size() ? f[at + 1] : 0xFFFFFFFFu;
        return ((b0 << 8) | b1) & 0xFFFF;
    };
    uint64_t frames = 0;
    for (uint64_t at = 12; at + 4 <= f.size();) {
        const auto id = std::string(f.begin() + static_cast<std::ptrdiff_t>(at), f.begin() + static_cast<std::ptrdiff_t>(at + 4));
        const uint64_t size = (u16(at + 4) << 16) | u16(at + 6);
        if (id == "BODY") break;
        if (id == "INFO") {
            g.width = u16(at + 8), g.height = u16(at + 10), g.depth = u16(at + 12), frames = u16(at + 16);
            g.format = u16(at + 18), g.flags = u16(at + 20), g.frameCount = std::max(g.frameCount, frames);
        }
        at += 8 + (id == "INFO" ? 14 : id == "PROF" ? 4 * frames : id == "TTBL" ? 2 * frames : id == "DRGB" ? size : size + (size & 1));
    }
    return g;
}

// The documented bound: the handle, the PROF and TTBL tables (a second
// table is read before the first is freed), both back buffers, the output
// frame, the planar conversion buffer, and one frame being unpacked: its
// unpacked bytes with the XPK slack (at most maxFrameBytes + slack) plus the
// packed input of the chunk or stream being unpacked (at most
// 2 × maxFrameBytes + slack).
uint64_t Bound(const Geometry& g) {
    const uint64_t pixels = g.width * g.height;
    const bool chunky = g.format >= 3;
    const bool delta = (g.flags & YAFA_DELTA) != 0;
    const uint64_t depth = delta && chunky ? 8 : g.depth;
    const uint64_t planar = g.height * ((g.width + 15) / 16 * 2) * depth;
    const uint64_t chunkyBytes = pixels * ChunkyBytesPerPixel(int32_t(depth));
    const uint64_t data = chunky && !delta ? chunkyBytes : planar;
    const uint64_t tail = depth > 8 ? 0 : ((g.flags & YAFA_HAM) ? (depth == 8 ? 64 : 16) : (1u << depth)) * 12 + 8;
    const uint64_t maxFrame = std::min<uint64_t>(4 * data + tail + kFrameBoundMargin, kMaxBufferBytes);
    return sizeof(AnimHandle) + 12 * g.frameCount + (delta ? 2 * planar : 0) + 4 * pixels + pixels + 3 * maxFrame +
           2 * XPK_OUTPUT_SLACK;
}

struct Measured {
    uint64_t peak;
    uint64_t bound;
};

// Opens `file` and makes the usual requests in both output modes.
Measured Measure(const Bytes& file) {
    Rig().SetFile(file);
    const Geometry g = GeometryOf(file);
    const auto order = RequestOrder(int32_t(std::min<uint64_t>(g.frameCount, 16)));
    ResetPeak();
    for (bool indexed : {false, true}) Rig().Run({indexed, order});
    EXPECT_EQ(Stats().liveBlocks, 0u) << "blocks left allocated";
    EXPECT_EQ(Rig().host().openFileCount(), 0u);
    return {Stats().peakBytes, Bound(g)};
}

std::vector<std::filesystem::path> Vectors(const char* folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(YAFA_VECTORS_DIR) / folder))
        if (entry.path().extension() == ".yafa") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(MemoryBound, CorpusStaysWithinBound) {
    for (const CorpusAnim& anim : RobustnessCorpus()) {
        const Measured m = Measure(anim.file);
        EXPECT_GT(m.peak, 0u) << anim.name;
        EXPECT_LE(m.peak, m.bound) << anim.name;
    }
}

TEST(MemoryBound, ReferenceAnimationsStayWithinBound) {
    uint64_t worstPeak = 0;
    for (const char* folder : {"valid", "hostile"}) {
        for (const auto& path : Vectors(folder)) {
            const Measured m = Measure(ReadFile(path));
            EXPECT_LE(m.peak, m.bound) << path.filename() << " in " << folder;
            worstPeak = std::max(worstPeak, m.peak);
        }
    }
    RecordProperty("worst_peak_bytes", std::to_string(worstPeak));
}

// An S404 frame whose PROF entry claims a gigabyte in a file of a few dozen
// bytes: the stored length is no reason to hold that much.
TEST(MemoryBound, S404FrameClaimingHugeStoredLength) {
    encode::IffWriter iff("YAFA");
    Bytes info;
    for (uint32_t word : {2u, 2u, 8u, 1u, 1u, 4u, 0u}) encode::PutU16BE(info, word);
    iff.Chunk("INFO", info);
    Bytes prof;
    encode::PutU32BE(prof, 0x40000000);
    iff.Chunk("PROF", prof);
    Bytes frame = {'S', '4', '0', '4'};
    for (uint32_t word : {0u, 4u, 4u}) encode::PutU32BE(frame, word);  // unused, unpackedSize, packedEnd
    frame.insert(frame.end(), {0, 8, 0, 0, 0, 0});
    iff.Chunk("BODY", frame);
    const Measured m = Measure(iff.Finish());
    EXPECT_LE(m.peak, m.bound);
}

}  // namespace
}  // namespace yafa::robust
