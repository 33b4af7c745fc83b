// The yafa tool run as a user runs it, against the real plugin beside it.
#include <gif_lib.h>
#include <png.h>

#include <nlohmann/json.hpp>

#include "tiny_yafa.h"
#include "tool_runner.h"

namespace yafa::test {
namespace {

class CliTest : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        good_ = Write("good.yafa", BuildTinyYafa(false));
        broken_ = Write("broken.yafa", BuildTinyYafa(true));
    }
    std::string good_, broken_;
};

// Frame k as yafa raw writes it: 0x00RRGGBB little-endian words.
std::string RawFrame(int k) {
    std::string s;
    for (int i = 0; i < kTinyWidth * kTinyHeight; ++i) {
        const uint32_t c = kTinyColours[k % 4];
        s += {char(c), char(c >> 8), char(c >> 16), char(0)};
    }
    return s;
}

// Frames in the order asked for, and the raw output format itself, are
// covered by the reference vectors.
TEST_F(CliTest, FailingFrameExitsTwoAfterTheFramesBeforeIt) {
    const ToolResult r = Run("raw " + broken_ + " --frames 0,2,1,0");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, RawFrame(0) + RawFrame(2));
    EXPECT_NE(r.err.find(broken_), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("frame 1"), std::string::npos) << r.err;
    EXPECT_EQ(Run("extract " + broken_ + " " + (dir_ / "png").string()).code, 2);
    EXPECT_TRUE(fs::exists(dir_ / "png" / "frame_00000.png"));
    EXPECT_EQ(Run("convert " + broken_ + " " + (dir_ / "b.gif").string()).code, 2);
}

TEST_F(CliTest, UnopenableInputExitsOne) {
    const std::string notYafa = Write("text.yafa", {'h', 'e', 'l', 'l', 'o'});
    const std::string missing = (dir_ / "missing.yafa").string();
    const std::pair<std::string, std::string> cases[] = {
        {"raw " + missing, missing},
        {"info " + notYafa, notYafa},
        {"raw " + notYafa + " --frames 0", notYafa},
        {"raw --plugin /no/such.lvp " + good_, "/no/such.lvp"},
        {"raw " + good_ + " --no-such-option", "--no-such-option"},
        {"", "subcommand"},
    };
    for (const auto& [args, named] : cases) {
        const ToolResult r = Run(args);
        EXPECT_EQ(r.code, 1) << args;
        EXPECT_TRUE(r.out.empty()) << args;
        EXPECT_NE(r.err.find(named), std::string::npos) << args << ": " << r.err;
    }
}

TEST_F(CliTest, BadFrameListsExitOneWithoutOutput) {
    for (const char* list : {"''", "1-", "x", "2-1", "1,,2", ",0", "3", "0-3", "-1", "99999999999"}) {
        const ToolResult r = Run("raw " + good_ + " --frames " + list);
        EXPECT_EQ(r.code, 1) << list;
        EXPECT_TRUE(r.out.empty()) << list;
        EXPECT_NE(r.err.find("--frames"), std::string::npos) << list << ": " << r.err;
    }
}

TEST_F(CliTest, InfoJsonReportsWhatThePluginSays) {
    const ToolResult r = Run("info " + broken_ + " --json");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["width"], kTinyWidth);
    EXPECT_EQ(j["height"], kTinyHeight);
    EXPECT_EQ(j["depth"], 2);
    EXPECT_EQ(j["frames"], kTinyFrames);
    EXPECT_EQ(j["delays_ms"], nlohmann::json({100, 100, 140}));
    EXPECT_EQ(j["frame_format"], 0);
    EXPECT_EQ(j["storage"], nlohmann::json({"raw", "XPK-ABCD", "raw"}));
    EXPECT_EQ(Run("info " + good_).code, 0);
}

TEST_F(CliTest, ExtractWritesDecodablePngs) {
    for (const bool indexed : {false, true}) {
        const fs::path out = dir_ / (indexed ? "idx" : "rgb");
        const ToolResult r = Run("extract " + good_ + " " + out.string() + (indexed ? " --indexed" : "") + " --frames 2,0");
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_FALSE(fs::exists(out / "frame_00001.png"));
        for (int k : {0, 2}) {
            png_image image{};
            image.version = PNG_IMAGE_VERSION;
            const std::string path = (out / ("frame_0000" + std::to_string(k) + ".png")).string();
            ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << path;
            EXPECT_EQ(image.width, uint32_t(kTinyWidth));
            EXPECT_EQ(image.height, uint32_t(kTinyHeight));
            EXPECT_EQ((image.format & PNG_FORMAT_FLAG_COLORMAP) != 0, indexed);
            image.format = PNG_FORMAT_RGB;
            std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
            ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
            const uint32_t c = kTinyColours[k];
            for (size_t i = 0; i < rgb.size(); i += 3) {
                ASSERT_EQ(uint32_t(rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]), c) << path;
            }
        }
    }
}

TEST_F(CliTest, ConvertWritesALoopingGifWithEachFramesDelay) {
    const std::string gifPath = (dir_ / "anim.gif").string();
    const ToolResult r = Run("convert " + good_ + " " + gifPath);
    ASSERT_EQ(r.code, 0) << r.err;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(gifPath.c_str(), &error);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    ASSERT_EQ(gif->ImageCount, kTinyFrames);
    const int centiseconds[] = {10, 10, 14};
    bool loops = false;
    for (int k = 0; k < kTinyFrames; ++k) {
        const SavedImage& frame = gif->SavedImages[k];
        for (int e = 0; e < frame.ExtensionBlockCount; ++e) {
            const ExtensionBlock& b = frame.ExtensionBlocks[e];
            loops |= b.Function == APPLICATION_EXT_FUNC_CODE && b.ByteCount == 11 &&
                     std::string(reinterpret_cast<char*>(b.Bytes), 11) == "NETSCAPE2.0";
        }
        GraphicsControlBlock gcb{};
        ASSERT_EQ(DGifSavedExtensionToGCB(gif, k, &gcb), GIF_OK);
        EXPECT_EQ(gcb.DelayTime, centiseconds[k]);
        const ColorMapObject* map = frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
        ASSERT_NE(map, nullptr);
        for (int i = 0; i < kTinyWidth * kTinyHeight; ++i) {
            const GifColorType& c = map->Colors[frame.RasterBits[i]];
            ASSERT_EQ(uint32_t(c.Red << 16 | c.Green << 8 | c.Blue), kTinyColours[k]);
        }
    }
    EXPECT_TRUE(loops);
    DGifCloseFile(gif, &error);
}

}  // namespace
}  // namespace yafa::test
