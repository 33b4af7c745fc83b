// The yafa tool run as a user runs it, against the real plugin beside it:
// one end-to-end check per command, and the exit codes. Frames in the order
// asked for and the raw output format are covered by the reference vectors.
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

TEST_F(CliTest, FailingFrameExitsTwoAfterTheFramesBeforeIt) {
    const ToolResult r = Run("raw " + broken_ + " --frames 0,2,1,0");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, RawFrame(0) + RawFrame(2));
    EXPECT_NE(r.err.find("frame 1"), std::string::npos) << r.err;
    EXPECT_EQ(Run("extract " + broken_ + " " + (dir_ / "png").string()).code, 2);
    EXPECT_TRUE(fs::exists(dir_ / "png" / "frame_00000.png"));
    EXPECT_EQ(Run("convert " + broken_ + " " + (dir_ / "b.gif").string()).code, 2);
}

TEST_F(CliTest, UnusableInputExitsOneWithoutOutput) {
    const std::string notYafa = Write("text.yafa", {'h', 'e', 'l', 'l', 'o'});
    const std::string missing = (dir_ / "missing.yafa").string();
    const std::pair<std::string, std::string> cases[] = {
        {"raw " + missing, missing},
        {"info " + notYafa, notYafa},
        {"raw --plugin /no/such.lvp " + good_, "/no/such.lvp"},
        {"raw " + good_ + " --no-such-option", "--no-such-option"},
        {"", "subcommand"},
        {"raw " + good_ + " --frames 1,,2", "--frames"},
        {"raw " + good_ + " --frames 0-3", "--frames"},  // past the last frame
    };
    for (const auto& [args, named] : cases) {
        const ToolResult r = Run(args);
        EXPECT_EQ(r.code, 1) << args;
        EXPECT_TRUE(r.out.empty()) << args;
        EXPECT_NE(r.err.find(named), std::string::npos) << args << ": " << r.err;
    }
}

TEST_F(CliTest, InfoJsonReportsWhatThePluginSays) {
    const ToolResult r = Run("info " + broken_ + " --json");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["width"], kTinyWidth);
    EXPECT_EQ(j["frames"], kTinyFrames);
    EXPECT_EQ(j["delays_ms"], nlohmann::json({100, 100, 140}));
    EXPECT_EQ(j["storage"], nlohmann::json({"raw", "XPK-ABCD", "raw"}));
}

TEST_F(CliTest, ExtractWritesIndexedPngs) {
    const fs::path out = dir_ / "idx";
    const ToolResult r = Run("extract " + good_ + " " + out.string() + " --indexed --frames 2");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(fs::exists(out / "frame_00000.png"));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, (out / "frame_00002.png").c_str()));
    EXPECT_TRUE(image.format & PNG_FORMAT_FLAG_COLORMAP);
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    ASSERT_EQ(rgb.size(), size_t(3 * kTinyWidth * kTinyHeight));
    for (size_t i = 0; i < rgb.size(); i += 3) ASSERT_EQ(uint32_t(rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]), kTinyColours[2]);
}

TEST_F(CliTest, ConvertWritesAGifWithEachFramesDelay) {
    const std::string gifPath = (dir_ / "anim.gif").string();
    ASSERT_EQ(Run("convert " + good_ + " " + gifPath).code, 0);
    int error = 0;
    GifFileType* gif = DGifOpenFileName(gifPath.c_str(), &error);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    ASSERT_EQ(gif->ImageCount, kTinyFrames);
    const int centiseconds[] = {10, 10, 14};
    for (int k = 0; k < kTinyFrames; ++k) {
        GraphicsControlBlock gcb{};
        ASSERT_EQ(DGifSavedExtensionToGCB(gif, k, &gcb), GIF_OK);
        EXPECT_EQ(gcb.DelayTime, centiseconds[k]);
        const SavedImage& frame = gif->SavedImages[k];
        const ColorMapObject* map = frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
        const GifColorType& c = map->Colors[frame.RasterBits[0]];
        EXPECT_EQ(uint32_t(c.Red << 16 | c.Green << 8 | c.Blue), kTinyColours[k]);
    }
    DGifCloseFile(gif, &error);
}

}  // namespace
}  // namespace yafa::test
