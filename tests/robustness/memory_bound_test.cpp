// The most memory the plugin holds at once, measured with the counting
// variant of the module: over the robustness corpus and the reference
// animations, against a bound that follows from the animation's geometry and
// the file's size (see fuzz/README.md, "Memory bound"); and for tiny files
// whose frames fail, against what their bytes justify.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "anim/anim_handle.h"
#include "anim_corpus.h"
#include "format/big_endian.h"
#include "format/geometry.h"
#include "format/iff.h"
#include "format/xpk_format.h"
#include "io/malloc_buffer.h"
#include "plugin_rig.h"
#include "support/status_print.h"
#include "support/yafa_builder.h"

namespace yafa::robust {
namespace {

void ResetPeak() {
    static const auto reset = ShimFunction<YafaAllocResetPeakFn>("YafaAllocResetPeak");
    reset();
}

// The documented bound: the handle, the PROF and TTBL tables (a second table
// is read before the first is freed), both back buffers, the output frame,
// the planar conversion buffer, a zero-filled copy of a frame's pixels
// when the file cut it short, and one frame being unpacked: at most
// maxFrameBytes and the XPK slack, plus the packed bytes read for it, which
// grow with what the file holds (at most twice the file, or the first
// megabyte read at once).
uint64_t Bound(const Bytes& file) {
    const FileLayout found = LayoutOf(file);
    const Geometry g = DeriveGeometry(found.info);
    const bool delta = (found.info.flags & YAFA_DELTA) != 0;
    const uint64_t packed = std::max<uint64_t>(kTrustedReadBytes, 2 * file.size()) + 4;
    return sizeof(AnimHandle) + 12 * uint64_t{found.mostFrames} + (delta ? 2 * g.planarBytes : 0) + 5 * g.pixels +
           g.pixelBytes + g.maxFrameBytes + XPK_OUTPUT_SLACK + packed;
}

struct Measured {
    uint64_t peak;
    uint64_t bound;
};

// Opens `file` and makes the usual requests in both output modes.
Measured Measure(const Bytes& file) {
    Rig().SetFile(file);
    const auto order = RequestOrder(int32_t(std::min<uint32_t>(LayoutOf(file).info.frameCount, 16)));
    ResetPeak();
    for (bool indexed : {false, true}) Rig().Run({indexed, order});
    EXPECT_EQ(Stats().liveBlocks, 0u) << "blocks left allocated";
    EXPECT_EQ(Rig().host().openFileCount(), 0u);
    return {Stats().peakBytes, Bound(file)};
}

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(MemoryBound, CorpusAndReferenceAnimationsStayWithinBound) {
    for (const CorpusAnim& anim : Corpus()) {
        const Measured m = Measure(anim.file);
        EXPECT_GT(m.peak, 0u) << anim.name;
        EXPECT_LE(m.peak, m.bound) << anim.name;
    }
    uint64_t worstPeak = 0;
    for (const char* folder : {"valid", "hostile"}) {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(YAFA_VECTORS_DIR) / folder))
            if (entry.path().extension() == ".yafa") files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const auto& path : files) {
            const Measured m = Measure(ReadFile(path));
            EXPECT_LE(m.peak, m.bound) << path.filename() << " in " << folder;
            worstPeak = std::max(worstPeak, m.peak);
        }
    }
    RecordProperty("worst_peak_bytes", std::to_string(worstPeak));
}

// ---- tiny files whose first frame fails ----------------------------------------

// 65535 x 16384 with 8 planes: 1 GiB of planes and 4 GiB of 32-bit pixels,
// which every bound above allows; or 320 x 200.
Bytes HugeAnim(const Bytes& frame, uint32_t storedEnd, uint16_t flags = 0, bool small = false) {
    const test::Info info{uint16_t(small ? 320 : 65535), uint16_t(small ? 200 : 16384), 8, 1, 1, 0, flags};
    return test::Form({test::InfoChunk(info), test::ProfChunk(std::vector<uint32_t>{storedEnd}), test::Chunk("BODY", frame)});
}

// One chunk with long headers and `bodyBytes` of 0, and no end chunk.
Bytes XpkFrame(const char* method, uint8_t type, uint32_t pl, uint32_t ul, size_t bodyBytes) {
    Bytes s = test::XpkHeader(method, XPK_FLAG_LONG_HEADERS);
    test::AddXpkChunk(s, type, pl, ul, true, Bytes(bodyBytes, 0));
    return s;
}

Bytes S404Frame(uint32_t unpackedSize, uint32_t packedEnd) {
    Bytes s(22, 0);  // tag, unused word, unpackedSize, packedEnd, offset width 8 and the first two words 0
    std::memcpy(s.data(), "S404", 4);
    StoreU32BE(s.data() + 8, unpackedSize);
    StoreU32BE(s.data() + 12, packedEnd);
    s[17] = 8;
    return s;
}

// A raw delta frame claiming most of 2 GiB whose one op list runs below the
// plane's last row after 60 bytes.
Bytes RunawayDelta() {
    Bytes s;
    AppendU32BE(s, 64);
    s.resize(64, 0);
    s.push_back(200);
    s.insert(s.end(), 130, 0x7F);  // skips of 127 rows: far below row 16383
    s.push_back(0x81);
    return s;
}

TEST(MemoryBound, FailingFramesOfTinyFilesCostTheirBytes) {
    const struct {
        const char* name;
        Bytes file;
        Status status;
    } cases[] = {
        {"FAST chunk of 4 GiB from 16 bytes", HugeAnim(XpkFrame("FAST", 1, 16, 0xFFFFB000u, 16), 200),
         Status::UnpackedSizeBeyondPackedData},
        {"NUKE chunk of 4 GiB from 16 bytes", HugeAnim(XpkFrame("NUKE", 1, 16, 0xFFFFB000u, 16), 200),
         Status::UnpackedSizeBeyondPackedData},
        {"RAKE chunk of 4 GiB from 16 bytes", HugeAnim(XpkFrame("RAKE", 1, 16, 0xFFFFB000u, 16), 200),
         Status::UnpackedSizeBeyondPackedData},
        {"packed chunk of 4 GiB", HugeAnim(XpkFrame("RAKE", 1, 0xFFFFFFF0u, 0xFFFFB000u, 16), 200),
         Status::XpkChunkPastEndOfFile},
        {"raw chunk of 4 GiB", HugeAnim(XpkFrame("FAST", 0, 0xFFFFB000u, 0xFFFFB000u, 16), 200),
         Status::XpkChunkPastEndOfFile},
        {"S404 of 4 GiB from 6 bytes", HugeAnim(S404Frame(0xFFFF0000u, 4), 200), Status::UnpackedSizeBeyondPackedData},
        {"S404 of 1 GiB from 2 GiB that are not there", HugeAnim(S404Frame(1u << 30, 0x7FFFFFF0u), 0x7FFFFFFFu),
         Status::FileEndsInsideFrame},
        {"raw frame of 4 GiB in a 320 x 200 animation", HugeAnim(Bytes(64, 0), 0xFFFFFFF0u, 0, true),
         Status::FrameLargerThanGeometry},
        {"delta frame of 2 GiB running off its plane", HugeAnim(RunawayDelta(), 0x7FFF0000u, YAFA_DELTA | YAFA_DELTAFROM0),
         Status::OpListLeavesPlane},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_LT(c.file.size(), 400u);
        Rig().SetFile(c.file);
        AnimOpenInfo info{};
        AnimHandle* anim = Rig().Open(false, &info);
        ASSERT_NE(anim, nullptr);
        const uint64_t atOpen = Stats().liveBytes;  // the back buffers of a delta animation
        ResetPeak();
        EXPECT_FALSE(Rig().Load(anim, info, 0, false).has_value());
        // The module's handle keeps the reason, readable in this process.
        EXPECT_EQ(anim->lastFailure.status, c.status);
        EXPECT_EQ(anim->lastFailure.frame, 0);
        // Far below 128 MiB: a megabyte read at once at most.
        EXPECT_LE(Stats().peakBytes - atOpen, uint64_t{2} << 20);
        Rig().api().CloseAnim(anim);
        EXPECT_EQ(Stats().liveBlocks, 0u);
    }
}

}  // namespace
}  // namespace yafa::robust
