// The yafa tool run as a user runs it, against the real plugin beside it.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tiny_yafa.h"

namespace yafa::test {
namespace {

namespace fs = std::filesystem;

struct Result {
    int code;
    std::string out, err;
};

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(::testing::TempDir()) / ("yafa_cli_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        good_ = Write("good.yafa", BuildTinyYafa(false));
        broken_ = Write("broken.yafa", BuildTinyYafa(true));
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }

    // Runs the tool, which finds yafa.lvp beside itself.
    Result Run(const std::string& args) {
        const std::string cmd = std::string(YAFA_TOOL_PATH) + " " + args + " >" + (dir_ / "stdout").string() +
                                " 2>" + (dir_ / "stderr").string() + " </dev/null";
        const int status = std::system(cmd.c_str());
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return {code, Slurp(dir_ / "stdout"), Slurp(dir_ / "stderr")};
    }

    fs::path dir_;
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

TEST_F(CliTest, RawDecodesFramesInRequestOrder) {
    const Result r = Run("raw " + good_ + " --frames 2,0-1,2");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, RawFrame(2) + RawFrame(0) + RawFrame(1) + RawFrame(2));
    EXPECT_EQ(Run("raw " + good_).out, RawFrame(0) + RawFrame(1) + RawFrame(2));
}

TEST_F(CliTest, RawIndexedAppendsThePaletteTheRequestReturned) {
    const Result r = Run("raw " + good_ + " --frames 1 --indexed");
    ASSERT_EQ(r.code, 0) << r.err;
    std::string want(kTinyWidth * kTinyHeight, '\1');
    for (int i = 0; i < 256; ++i) {
        const uint32_t c = i < 4 ? kTinyColours[i] : 0;
        want += {char(c), char(c >> 8), char(c >> 16), char(0)};
    }
    EXPECT_EQ(r.out, want);
    // Hosts up to version 8 are not given the palette: zeros stand in.
    const Result old = Run("raw " + good_ + " --frames 1 --indexed --host-version 8");
    ASSERT_EQ(old.code, 0) << old.err;
    EXPECT_EQ(old.out, std::string(kTinyWidth * kTinyHeight, '\1') + std::string(1024, '\0'));
}

TEST_F(CliTest, FailingFrameExitsTwoAfterTheFramesBeforeIt) {
    const Result r = Run("raw " + broken_ + " --frames 0,2,1,0");
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
        const Result r = Run(args);
        EXPECT_EQ(r.code, 1) << args;
        EXPECT_TRUE(r.out.empty()) << args;
        EXPECT_NE(r.err.find(named), std::string::npos) << args << ": " << r.err;
    }
}

TEST_F(CliTest, BadFrameListsExitOneWithoutOutput) {
    for (const char* list : {"''", "1-", "x", "2-1", "1,,2", ",0", "3", "0-3", "-1", "99999999999"}) {
        const Result r = Run("raw " + good_ + " --frames " + list);
        EXPECT_EQ(r.code, 1) << list;
        EXPECT_TRUE(r.out.empty()) << list;
        EXPECT_NE(r.err.find("--frames"), std::string::npos) << list << ": " << r.err;
    }
}

TEST_F(CliTest, InfoJsonReportsWhatThePluginSays) {
    const Result r = Run("info " + broken_ + " --json");
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
        const Result r = Run("extract " + good_ + " " + out.string() + (indexed ? " --indexed" : "") + " --frames 2,0");
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
    const Result r = Run("convert " + good_ + " " + gifPath);
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
