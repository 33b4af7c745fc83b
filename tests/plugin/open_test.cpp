// OpenAnim: which files open and which are refused for what reason (with
// nothing left open), and how the chunk loop walks the file.
#include <algorithm>
#include <string>
#include <tuple>

#include "io/host_services.h"
#include "plugin/core_api.h"
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
    return SmallFile(Info{w, h, depth, 1, 1, format, flags});
}

struct OpenCase {
    std::string name;
    Bytes file;
    int32_t flags;
    Status status;  // Ok: it opens
};

std::vector<OpenCase> OpenCases() {
    std::vector<OpenCase> cases;
    auto add = [&](std::string name, Bytes file, Status status, int32_t flags = 0) {
        cases.push_back({std::move(name), std::move(file), flags, status});
    };
    const Bytes valid = SmallFile(SmallInfo());
    add("Valid", valid, Status::Ok);
    Bytes badForm = valid, badType = valid, cutId = Form({InfoChunk(SmallInfo())});
    badForm[3] = 'N', badType[11] = 'B';
    cutId.insert(cutId.end(), {'B', 'O'});
    for (auto [name, file] : {std::pair<const char*, Bytes>{"BadFormId", badForm}, {"BadFormType", badType}, {"Empty", {}},
                              {"ElevenBytes", Bytes(valid.begin(), valid.begin() + 11)}})
        add(name, file, Status::NotYafa);
    for (auto [name, file] : {std::pair<const char*, Bytes>{"HeaderOnly", Form({})}, {"NoBody", Form({InfoChunk(SmallInfo())})},
                              {"ChunkIdCutShort", cutId}})
        add(name, file, Status::NoBodyChunk);
    add("FrameFormat5", SmallFile(SmallInfo(1, 5)), Status::FrameFormatUnknown);
    add("FrameFormat65535", SmallFile(SmallInfo(1, 0xFFFF)), Status::FrameFormatUnknown);
    add("NoInfoOpens", Form({SmallBody()}), Status::Ok);
    add("FrameFormat4", SmallFile(SmallInfo(8, 4)), Status::Ok);

    const std::vector<uint32_t> prof{4};
    const std::vector<uint16_t> ttbl{1};
    add("ProfBeforeInfo", Form({ProfChunk(prof), InfoChunk(SmallInfo()), SmallBody()}), Status::ProfWithoutFrames);
    add("TtblBeforeInfo", Form({TtblChunk(ttbl), InfoChunk(SmallInfo()), SmallBody()}), Status::TtblWithoutFrames);
    add("ProfWithNoFrames", Form({InfoChunk(SmallInfo(1, 0, 0, 0)), ProfChunk({}), SmallBody()}), Status::ProfWithoutFrames);
    add("TtblWithNoFrames", Form({InfoChunk(SmallInfo(1, 0, 0, 0)), TtblChunk({}), SmallBody()}), Status::TtblWithoutFrames);
    add("NoFramesNoTables", SmallFile(SmallInfo(1, 0, 0, 0)), Status::Ok);
    // A later INFO that raises the frame count leaves a table too short to
    // index; one that lowers it leaves entries unused (see LaterInfo below).
    add("InfoRaisesFrameCount", Form({InfoChunk(SmallInfo(1, 1, 0, 2)), ProfChunk(std::vector<uint32_t>{4, 4}),
                                      InfoChunk(SmallInfo(1, 1, 0, 3)), SmallBody()}), Status::TableShorterThanFrameCount);
    add("InfoRaisesFrameCountAfterTtbl", Form({InfoChunk(SmallInfo(1, 0, 0, 1)), TtblChunk(ttbl),
                                               InfoChunk(SmallInfo(1, 0, 0, 2)), SmallBody()}), Status::TableShorterThanFrameCount);

    // 8-bit requests: the test sees the depth as declared, before a chunky
    // delta makes it 8.
    const std::tuple<const char*, Info, bool> indexed[] = {
        {"Depth8", SmallInfo(8, 0), true},      {"Chunky8", SmallInfo(8, 4), true}, {"Ham6", SmallInfo(6, 0, kHam), false},
        {"Ham8", SmallInfo(8, 0, kHam), false}, {"Rgb15", SmallInfo(15, 4), false}, {"Rgb24", SmallInfo(24, 3), false},
        {"ChunkyDelta24", SmallInfo(24, 3, kDelta), false}};
    for (const auto& [name, info, ok] : indexed) {
        add(std::string("Indexed") + name, SmallFile(info), ok ? Status::Ok : Status::IndexedOutputUnavailable,
            ANIM_REQUEST_INDEXED);
        add(name, SmallFile(info), Status::Ok);
    }

    // Chunk sizes that would move the loop backwards or nowhere when taken
    // as signed or wrapped: the skip runs past the end, or further than the
    // host seeks. Valid chunks follow after 0 to 2 filler bytes, where a skip
    // cut short or wrapped would land.
    for (uint32_t size : {0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x00100000u})
        for (size_t filler = 0; filler < 3; ++filler)
            add("HugeUnknownChunk" + std::to_string(size) + "Filler" + std::to_string(filler),
                Form({RawChunk("JUNK", size, Bytes(filler, 0x3C)), InfoChunk(SmallInfo()), SmallBody()}),
                size >= 0x7FFFFFFFu ? Status::SeekOutOfRange : Status::NoBodyChunk);
    add("HugeDrgbSize", Form({DrgbChunk(TestPalette(2), 0, 0xFFFFFFF0u), InfoChunk(SmallInfo()), SmallBody()}),
        Status::SeekOutOfRange);
    add("InfoSizeIgnored", Form({InfoChunk(SmallInfo(), 0xFFFFFFFFu), SmallBody()}), Status::Ok);
    add("DrgbEntriesBeyondSize", Form({DrgbChunk(TestPalette(4), 0, 4 + 12 * 3), InfoChunk(SmallInfo()), SmallBody()}),
        Status::PaletteBeyondChunk);
    add("DrgbSizeBelowHeader", Form({DrgbChunk({}, 0, 2), InfoChunk(SmallInfo()), SmallBody()}), Status::PaletteBeyondChunk);

    // Sizes past 0xFFFFFFFF bytes: frame, back buffers or 32-bit output.
    add("Output65535Square", Geometry(65535, 65535, 1, 0), Status::GeometryTooLarge);
    add("Output4GiB", Geometry(32768, 32768, 1, 0), Status::GeometryTooLarge);
    add("OutputJustBelow4GiB", Geometry(32768, 32767, 1, 0), Status::Ok);
    add("Rgb24Frame", Geometry(40000, 40000, 24, 4), Status::GeometryTooLarge);
    add("DeltaBackBuffers", Geometry(65535, 65535, 8, 1, kDelta), Status::GeometryTooLarge);

    // Depths and modes at the edges of the conversion paths.
    const std::tuple<uint16_t, uint16_t, uint16_t, bool> paths[] = {
        {0, 0, 0, true},     {9, 0, 0, false},  {15, 1, 0, false},  {9, 1, kDelta, false}, {5, 0, kHam, false},
        {7, 0, kHam, false}, {24, 4, kHam, false}, {24, 3, kHam | kDelta, true}, {16, 4, 0, false}, {16, 4, kDelta, true}};
    for (const auto& [depth, format, flags, opens] : paths)
        add("Depth" + std::to_string(depth) + "Format" + std::to_string(format) + "Flags" + std::to_string(flags),
            SmallFile(SmallInfo(depth, format, flags)), opens ? Status::Ok : Status::NoPixelConversion);
    return cases;
}

void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.name; }

class OpenOutcome : public PluginTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenOutcome, OpensOrRefusesForItsReasonLeavingNothingOpen) {
    EXPECT_EQ(OpenStatus(GetParam().file, GetParam().flags), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(Files, OpenOutcome, ::testing::ValuesIn(OpenCases()),
                         [](const auto& info) { return info.param.name; });

TEST_F(PluginTest, UnopenableFileIsRefused) {
    AnimOpenInfo info{};
    EXPECT_EQ(api().OpenAnim("/nonexistent-dir/missing.yafa", &info), nullptr);
    AnimHandle* anim = nullptr;
    SetHost(host().base());
    EXPECT_EQ(OpenAnimation("/nonexistent-dir/missing.yafa", info, &anim), Status::CannotOpenFile);
}

// ---- the chunk loop ---------------------------------------------------------

using ChunkLoop = PluginTest;

// The frame each file below ends with: 16 x 2, depth 2, pixels 0..3.
Bytes Image16x2() {
    Bytes image(32);
    for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(i % 4);
    return image;
}
const Info kInfo16x2{16, 2, 2, 3, 1, 0, 0};
Bytes Body16x2() { return BodyChunk(std::vector<Bytes>{PackPlanar(Image16x2(), 16, 2, 2)}); }

// Chunks of odd size are followed by a pad byte; ids that only resemble
// INFO are skipped like any other (placed after the real INFO, they would
// replace its 16 x 2 x 2 with 99 x 99 x 7 if taken for it).
TEST_F(ChunkLoop, UnknownChunksAreSkippedWithTheirPadByte) {
    Bytes other;
    for (uint16_t v : {99, 99, 7, 9, 9, 9, 0}) PutU16(other, v);
    for (const char* id : {"info", "INFo", "iNFO", "INF ", "NFO\0"}) {
        AnimOpenInfo info{};
        auto anim = Open(Form({Chunk("ABCD", Bytes(5, 1)), InfoChunk(kInfo16x2), RawChunk(std::string_view(id, 4), 14, other),
                               Chunk("WXYZ", Bytes(1, 2)), Body16x2()}), 0, &info);
        ASSERT_NE(anim, nullptr) << id;
        EXPECT_EQ(std::vector<int32_t>({info.width, info.height, info.depth, info.frameCount}),
                  std::vector<int32_t>({16, 2, 2, 1})) << id;
        EXPECT_EQ(Load8(anim.get(), 0).indices, Image16x2()) << id;
    }
}

// Later PROF and TTBL replace earlier ones; their size fields are not used.
// A later INFO may lower the frame count below the length of the tables
// already read: the surplus entries go unused. (Raising it is refused, above.)
TEST_F(ChunkLoop, TablesAreReadByContentReplacedAndMayOutlastTheFrameCount) {
    std::mt19937 rng(5);
    const Bytes a = RandomPixels(16 * 2, 2, rng), b = RandomPixels(16 * 2, 2, rng);
    const std::vector<Bytes> frames{PackPlanar(a, 16, 2, 2), PackPlanar(b, 16, 2, 2), Bytes(8, 0)};
    const std::vector<uint32_t> wrongEnds{3, 5, 9}, ends = FrameEnds(frames);
    const std::vector<uint16_t> wrongTicks{9, 9, 9}, ticks{1, 2, 3};
    for (bool lower : {false, true}) {
        AnimOpenInfo info{};
        auto anim = Open(Form({InfoChunk(Info{16, 2, 2, 0, 3, 1, 0}, 0), ProfChunk(wrongEnds), TtblChunk(wrongTicks),
                               ProfChunk(ends, 0xFFFFFFFFu), TtblChunk(ticks, 3),
                               lower ? InfoChunk(Info{16, 2, 2, 0, 2, 1, 0}) : Bytes{}, BodyChunk(frames)}), 0, &info);
        ASSERT_NE(anim, nullptr);
        EXPECT_EQ(info.frameCount, lower ? 2 : 3);
        EXPECT_EQ(Load8(anim.get(), 1).indices, b);
        EXPECT_EQ(Load8(anim.get(), 0).indices, a);
        EXPECT_EQ(api().GetFrameDelay(anim.get(), 1), 40);
        EXPECT_EQ(Load8(anim.get(), 2).ok, !lower);
        EXPECT_EQ(LastReason(anim.get()), lower ? Status::FrameIndexOutOfRange : Status::Ok);
        EXPECT_EQ(api().GetFrameDelay(anim.get(), 2), lower ? 0 : 60);
    }
}

}  // namespace
}  // namespace yafa::test
