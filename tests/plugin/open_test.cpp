// OpenAnim: which files open and which are refused (with nothing left open),
// and how the chunk loop walks the file.
#include <algorithm>
#include <cstring>
#include <string>

#include "support/plugin_fixture.h"

namespace yafa::test {
namespace {

Info SmallInfo(uint16_t depth = 1, uint16_t format = 0, uint16_t flags = 0, uint16_t frames = 1) {
    return Info{16, 2, depth, 1, frames, format, flags};
}

// One 16 x 2 single-plane frame.
Bytes SmallBody() { return BodyChunk(std::vector<Bytes>{Bytes{0x12, 0x34, 0x56, 0x78}}); }

Bytes SmallFile(const Info& info) { return Form({InfoChunk(info), SmallBody()}); }

Bytes Geometry(uint16_t w, uint16_t h, uint16_t depth, uint16_t format, uint16_t flags = 0) {
    return Form({InfoChunk(Info{w, h, depth, 1, 1, format, flags}), SmallBody()});
}

Bytes Junk(size_t n) { return Bytes(n, 0x3C); }

struct OpenCase {
    std::string name;
    Bytes file;
    int32_t flags;
    bool opens;
};

std::vector<OpenCase> OpenCases() {
    std::vector<OpenCase> cases;
    auto add = [&](std::string name, Bytes file, bool opens, int32_t flags = 0) {
        cases.push_back({std::move(name), std::move(file), flags, opens});
    };
    const Bytes valid = SmallFile(SmallInfo());
    add("Valid", valid, true);

    Bytes badForm = valid;
    badForm[3] = 'N';
    add("BadFormId", badForm, false);
    Bytes badType = valid;
    badType[11] = 'B';
    add("BadFormType", badType, false);
    add("Empty", {}, false);
    add("EightBytes", Bytes{'F', 'O', 'R', 'M', 0, 0, 0, 0}, false);
    add("ElevenBytes", Bytes(valid.begin(), valid.begin() + 11), false);
    add("HeaderOnly", Form({}), false);
    add("NoBody", Form({InfoChunk(SmallInfo())}), false);
    Bytes cutId = Form({InfoChunk(SmallInfo())});
    cutId.push_back('B');
    cutId.push_back('O');
    add("ChunkIdCutShort", cutId, false);
    add("NoInfoOpens", Form({SmallBody()}), true);

    add("FrameFormat4", SmallFile(SmallInfo(8, 4)), true);
    add("FrameFormat5", SmallFile(SmallInfo(1, 5)), false);
    add("FrameFormat65535", SmallFile(SmallInfo(1, 0xFFFF)), false);

    const std::vector<uint32_t> prof{4};
    const std::vector<uint16_t> ttbl{1};
    add("ProfBeforeInfo", Form({ProfChunk(prof), InfoChunk(SmallInfo()), SmallBody()}), false);
    add("TtblBeforeInfo", Form({TtblChunk(ttbl), InfoChunk(SmallInfo()), SmallBody()}), false);
    add("ProfWithNoFrames", Form({InfoChunk(SmallInfo(1, 0, 0, 0)), ProfChunk({}), SmallBody()}), false);
    add("TtblWithNoFrames", Form({InfoChunk(SmallInfo(1, 0, 0, 0)), TtblChunk({}), SmallBody()}), false);
    add("NoFramesNoTables", SmallFile(SmallInfo(1, 0, 0, 0)), true);

    // 8-bit requests.
    add("IndexedDepth8", SmallFile(SmallInfo(8, 0)), true, ANIM_REQUEST_INDEXED);
    add("IndexedChunky8", SmallFile(SmallInfo(8, 4)), true, ANIM_REQUEST_INDEXED);
    add("IndexedHam6", SmallFile(SmallInfo(6, 0, kHam)), false, ANIM_REQUEST_INDEXED);
    add("Ham6", SmallFile(SmallInfo(6, 0, kHam)), true);
    add("IndexedHam8", SmallFile(SmallInfo(8, 0, kHam)), false, ANIM_REQUEST_INDEXED);
    add("Ham8", SmallFile(SmallInfo(8, 0, kHam)), true);
    add("IndexedRgb15", SmallFile(SmallInfo(15, 4)), false, ANIM_REQUEST_INDEXED);
    add("Rgb15", SmallFile(SmallInfo(15, 4)), true);
    add("IndexedRgb24", SmallFile(SmallInfo(24, 4)), false, ANIM_REQUEST_INDEXED);
    add("Rgb24", SmallFile(SmallInfo(24, 3)), true);
    // The 8-bit test sees the depth as declared, before a delta makes it 8.
    add("IndexedChunkyDelta24", SmallFile(SmallInfo(24, 3, kDelta)), false, ANIM_REQUEST_INDEXED);

    // Chunk sizes that would move the loop backwards or nowhere when taken
    // as signed or wrapped: the skip runs past the end.
    // Valid chunks follow after 0 to 2 filler bytes, where a skip that was cut
    // short or wrapped around would land.
    for (uint32_t size : {0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x00100000u}) {
        for (size_t filler = 0; filler < 3; ++filler) {
            add("HugeUnknownChunk" + std::to_string(size) + "Filler" + std::to_string(filler),
                Form({RawChunk("JUNK", size, Junk(filler)), InfoChunk(SmallInfo()), SmallBody()}), false);
        }
    }
    add("HugeDrgbSize", Form({DrgbChunk(TestPalette(2), 0, 0xFFFFFFF0u), InfoChunk(SmallInfo()), SmallBody()}), false);
    // Size fields of INFO, PROF and TTBL are not used.
    add("InfoSizeIgnored", Form({InfoChunk(SmallInfo(), 0xFFFFFFFFu), SmallBody()}), true);

    // Palettes.
    add("DrgbEntriesBeyondSize", Form({DrgbChunk(TestPalette(4), 0, 4 + 12 * 3), InfoChunk(SmallInfo()), SmallBody()}),
        false);
    add("DrgbSizeBelowHeader", Form({DrgbChunk({}, 0, 2), InfoChunk(SmallInfo()), SmallBody()}), false);
    add("Drgb300Colours", Form({DrgbChunk(TestPalette(300)), InfoChunk(SmallInfo()), SmallBody()}), true);

    // Sizes past 0xFFFFFFFF bytes: frame, back buffers or 32-bit output.
    add("Output65535Square", Geometry(65535, 65535, 1, 0), false);
    add("Output4GiB", Geometry(32768, 32768, 1, 0), false);
    add("OutputJustBelow4GiB", Geometry(32768, 32767, 1, 0), true);
    add("Rgb24Frame", Geometry(40000, 40000, 24, 4), false);
    add("DeltaBackBuffers", Geometry(65535, 65535, 8, 1, kDelta), false);

    // No conversion path.
    add("Depth0", SmallFile(SmallInfo(0, 0)), true);
    add("Planar9", SmallFile(SmallInfo(9, 0)), false);
    add("Planar15", SmallFile(SmallInfo(15, 1)), false);
    add("Planar16", SmallFile(SmallInfo(16, 1)), false);
    add("Planar24", SmallFile(SmallInfo(24, 2)), false);
    add("PlanarDelta9", SmallFile(SmallInfo(9, 1, kDelta)), false);
    add("Ham4", SmallFile(SmallInfo(4, 0, kHam)), false);
    add("Ham5", SmallFile(SmallInfo(5, 0, kHam)), false);
    add("Ham7", SmallFile(SmallInfo(7, 0, kHam)), false);
    add("Ham24", SmallFile(SmallInfo(24, 4, kHam)), false);
    add("ChunkyHamDelta24", SmallFile(SmallInfo(24, 3, kHam | kDelta)), true);
    add("Chunky9", SmallFile(SmallInfo(9, 3)), false);
    add("Chunky16", SmallFile(SmallInfo(16, 4)), false);
    add("Chunky32", SmallFile(SmallInfo(32, 4)), false);
    add("ChunkyDelta16", SmallFile(SmallInfo(16, 4, kDelta)), true);
    return cases;
}

void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.name; }

class OpenOutcome : public PluginTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenOutcome, OpensOrRefusesLeavingNothingOpen) {
    const OpenCase& c = GetParam();
    {
        AnimPtr anim = Open(c.file, c.flags);
        EXPECT_EQ(anim != nullptr, c.opens);
        if (!anim) {
            EXPECT_EQ(host().openFileCount(), 0u);
        }
    }
    EXPECT_EQ(host().openFileCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Files, OpenOutcome, ::testing::ValuesIn(OpenCases()),
                         [](const auto& info) { return info.param.name; });

using OpenRefusal = PluginTest;

TEST_F(OpenRefusal, UnopenableFile) {
    AnimOpenInfo info{};
    EXPECT_EQ(api().OpenAnim("/nonexistent-dir/missing.yafa", &info), nullptr);
    EXPECT_EQ(host().openFileCount(), 0u);
}

// ---- the chunk loop ---------------------------------------------------------

using ChunkLoop = PluginTest;

// The frame each file below ends with: 16 x 2, depth 2, pixels 0..3.
Bytes PlanesOf16x2() {
    Bytes image(32);
    for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i % 4);
    return PackPlanar(image, 16, 2, 2);
}
Bytes Image16x2() {
    Bytes image(32);
    for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i % 4);
    return image;
}
const Info kInfo16x2{16, 2, 2, 3, 1, 0, 0};
Bytes Body16x2() { return BodyChunk(std::vector<Bytes>{PlanesOf16x2()}); }

TEST_F(ChunkLoop, OddUnknownChunkIsSkippedWithItsPadByte) {
    AnimOpenInfo info{};
    auto anim = Open(Form({Chunk("ABCD", Junk(5)), Chunk("WXYZ", Junk(1)), InfoChunk(kInfo16x2), Body16x2()}), 0, &info);
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(info.width, 16);
    EXPECT_EQ(info.frameCount, 1);
    const Frame8 frame = Load8(anim.get(), 0);
    ASSERT_TRUE(frame.ok);
    EXPECT_EQ(frame.indices, Image16x2());
}

TEST_F(ChunkLoop, IdentifiersDifferingFromInfoAreSkipped) {
    Bytes other;
    for (uint16_t v : {99, 99, 7, 9, 9, 9, 0}) PutU16(other, v);
    for (const char* id : {"info", "INFo", "iNFO", "INF ", "NFO\0"}) {
        AnimOpenInfo info{};
        auto anim =
            Open(Form({RawChunk(std::string_view(id, 4), 14, other), InfoChunk(kInfo16x2), Body16x2()}), 0, &info);
        ASSERT_NE(anim, nullptr) << id;
        EXPECT_EQ(info.width, 16) << id;
        EXPECT_EQ(info.height, 2) << id;
        EXPECT_EQ(info.depth, 2) << id;
    }
    AnimOpenInfo info{};
    std::memset(&info, 0x5A, sizeof info);
    info.flags = 0;
    info.openTag1Data = info.openTag6Data = 0;
    auto anim = Open(Form({RawChunk("info", 14, other), Body16x2()}), 0, &info);
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(info.height, 0);
    EXPECT_EQ(info.frameCount, 0);
    EXPECT_EQ(info.depth, 0);
}

TEST_F(ChunkLoop, DrgbEndsAtItsSizeWithoutPad) {
    const auto palette = TestPalette(4, 9);
    for (size_t extra : {0, 1, 3, 10}) {
        auto anim = Open(Form({DrgbChunk(palette, extra), InfoChunk(kInfo16x2), Body16x2()}));
        ASSERT_NE(anim, nullptr) << extra;
        const Frame32 frame = Load32(anim.get(), 0);
        ASSERT_TRUE(frame.ok) << extra;
        EXPECT_EQ(frame.pixels, Lookup(Image16x2(), palette)) << extra;
    }
}

TEST_F(ChunkLoop, DrgbStoresItsCountAndLeavesTheRestZero) {
    const auto palette = TestPalette(32, 4);
    auto anim = Open(Form({InfoChunk(Info{16, 2, 4, 1, 1, 0, 0}), DrgbChunk(palette), BodyChunk(std::vector<Bytes>{Bytes(16, 0)})}));
    ASSERT_NE(anim, nullptr);
    FrameRequest request{};
    ASSERT_TRUE(Load8(anim.get(), 0, &request).ok);
    ASSERT_NE(request.palette, nullptr);
    for (size_t i = 0; i < 256; ++i) EXPECT_EQ(request.palette[i], i < 32 ? palette[i] : 0u) << i;
}

TEST_F(ChunkLoop, DrgbAbove256KeepsTheFirst256AndSkipsTheRest) {
    const auto palette = TestPalette(300, 6);
    const std::vector<uint16_t> ticks{7};
    auto anim = Open(Form({InfoChunk(Info{16, 2, 8, 1, 1, 0, 0}), DrgbChunk(palette), TtblChunk(ticks),
                           BodyChunk(std::vector<Bytes>{Bytes(32, 0)})}));
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(api().GetFrameDelay(anim.get(), 0), 140);  // TTBL after the DRGB was found
    FrameRequest request{};
    ASSERT_TRUE(Load8(anim.get(), 0, &request).ok);
    ASSERT_NE(request.palette, nullptr);
    EXPECT_TRUE(std::equal(palette.begin(), palette.begin() + 256, request.palette));
}

TEST_F(ChunkLoop, LaterTablesReplaceEarlierOnes) {
    std::mt19937 rng(5);
    const Bytes a = RandomPixels(16 * 2, 2, rng), b = RandomPixels(16 * 2, 2, rng);
    const std::vector<Bytes> frames{PackPlanar(a, 16, 2, 2), PackPlanar(b, 16, 2, 2)};
    const std::vector<uint32_t> wrongEnds{3, 5}, ends = FrameEnds(frames);
    const std::vector<uint16_t> wrongTicks{9, 9}, ticks{1, 2};
    const Info info{16, 2, 2, 0, 2, 1, 0};
    auto anim = Open(Form({InfoChunk(info), ProfChunk(wrongEnds), TtblChunk(wrongTicks), ProfChunk(ends),
                           TtblChunk(ticks), BodyChunk(frames)}));
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(Load8(anim.get(), 1).indices, b);
    EXPECT_EQ(Load8(anim.get(), 0).indices, a);
    EXPECT_EQ(api().GetFrameDelay(anim.get(), 0), 20);
    EXPECT_EQ(api().GetFrameDelay(anim.get(), 1), 40);
}

TEST_F(ChunkLoop, TablesAreReadByContentNotBySizeField) {
    std::mt19937 rng(6);
    const Bytes a = RandomPixels(16 * 2, 2, rng), b = RandomPixels(16 * 2, 2, rng);
    const std::vector<Bytes> frames{PackPlanar(a, 16, 2, 2), PackPlanar(b, 16, 2, 2)};
    const std::vector<uint16_t> ticks{3, 4};
    const std::vector<uint32_t> ends = FrameEnds(frames);
    auto anim = Open(Form({InfoChunk(Info{16, 2, 2, 0, 2, 2, 0}, 0), ProfChunk(ends, 0xFFFFFFFFu),
                           TtblChunk(ticks, 3), BodyChunk(frames)}));
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(Load8(anim.get(), 1).indices, b);
    EXPECT_EQ(api().GetFrameDelay(anim.get(), 1), 80);
}

}  // namespace
}  // namespace yafa::test
