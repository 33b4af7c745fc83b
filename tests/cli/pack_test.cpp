// yafa pack run as a user runs it: pictures made here are packed, extracted
// again through the plugin and compared pixel for pixel.
#include <gif_lib.h>
#include <png.h>

#include <zlib.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "tool_runner.h"

namespace yafa::test {
namespace {

using Picture = std::vector<uint32_t>;  // 0x00RRGGBB
using Json = nlohmann::json;

constexpr uint32_t kW = 37, kH = 23;

// Distinct colours whose components are multiples of 8, so RGB15 holds them exactly.
uint32_t PoolColour(uint32_t k) { return (k * 8 % 256) << 16 | (k / 32 * 8 % 256) << 8 | (k / 1024 * 8 + 40); }

// `count` frames with `colours` colours each: a band of 16 columns moving 3
// columns a frame across the first 32 over a plain ground; the ground keeps
// one colour, so that the last 5 columns never change and 2- and 4-byte
// delta columns reach every change. Frame t takes the band's colours from
// the pool shifted by t × shift.
std::vector<Picture> MakeFrames(int count, uint32_t colours, uint32_t shift) {
    std::vector<Picture> frames;
    for (uint32_t t = 0; t < uint32_t(count); ++t) {
        Picture p(kW * kH, PoolColour(0));
        for (uint32_t y = 0; y < kH; ++y)
            for (uint32_t x = 0; x < 32; ++x)
                if ((x + 32 - t * 3 % 32) % 32 < 16 && x + y > 0)
                    p[y * kW + x] = PoolColour(1 + (x + 16 * y + t) % (colours - 1) + t * shift);
        frames.push_back(std::move(p));
    }
    return frames;
}

// RGB, RGBA or, for at most 256 colours, a palette PNG of the colours in
// order of appearance.
void WritePng(const fs::path& path, const Picture& p, uint32_t width, int flavour) {
    std::vector<uint32_t> colours;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = uint32_t(p.size()) / width;
    std::vector<uint8_t> bytes, map;
    for (uint32_t c : p)
        if (std::find(colours.begin(), colours.end(), c) == colours.end()) colours.push_back(c);
    if (flavour == 1 && colours.size() <= 256) {
        image.format = PNG_FORMAT_RGB_COLORMAP;
        image.colormap_entries = uint32_t(colours.size());
        for (uint32_t c : colours) map.insert(map.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
        for (uint32_t c : p) bytes.push_back(uint8_t(std::find(colours.begin(), colours.end(), c) - colours.begin()));
    } else {
        image.format = flavour == 0 ? PNG_FORMAT_RGB : PNG_FORMAT_RGBA;
        for (uint32_t c : p) {
            bytes.insert(bytes.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
            if (flavour != 0) bytes.push_back(255);
        }
    }
    ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, bytes.data(), 0, map.empty() ? nullptr : map.data()))
        << path;
}

// Frame t as yafa extract wrote it into `folder`.
Picture ReadPng(const fs::path& folder, size_t t) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%05zu.png", t);
    const fs::path path = folder / name;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) return {};
    Picture p;
    for (size_t i = 0; i + 2 < bytes.size(); i += 3)
        p.push_back(uint32_t(bytes[i]) << 16 | bytes[i + 1] << 8 | bytes[i + 2]);
    return p;
}

// A PNG of a few dozen bytes whose header declares width x height 1-bit
// grey pixels, with a little compressed data: far too little for them.
std::vector<uint8_t> PngDeclaring(uint32_t width, uint32_t height) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto chunk = [&out](const char* type, std::vector<uint8_t> data) {
        const auto size = uint32_t(data.size());
        out.insert(out.end(), {uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size)});
        data.insert(data.begin(), type, type + 4);
        out.insert(out.end(), data.begin(), data.end());
        const uint32_t crc = uint32_t(crc32(0, data.data(), uInt(data.size())));
        out.insert(out.end(), {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)});
    };
    chunk("IHDR", {uint8_t(width >> 24), uint8_t(width >> 16), uint8_t(width >> 8), uint8_t(width), uint8_t(height >> 24),
                   uint8_t(height >> 16), uint8_t(height >> 8), uint8_t(height), 1, 0, 0, 0, 0});
    chunk("IDAT", {0x78, 0x9C, 0x63, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01});
    chunk("IEND", {});
    return out;
}

// One GIF frame: a rectangle of palette indices with its own colour table.
struct GifFrame {
    int left, top, width, height;
    std::vector<uint8_t> indices;
    std::vector<uint32_t> colours;
    int delayCs = 0, disposal = DISPOSAL_UNSPECIFIED, transparent = NO_TRANSPARENT_COLOR;
};

ColorMapObject* MakeMap(const std::vector<uint32_t>& colours) {
    int size = 2;
    while (size < int(colours.size())) size *= 2;
    ColorMapObject* map = GifMakeMapObject(size, nullptr);
    for (size_t i = 0; i < colours.size(); ++i)
        map->Colors[i] = {GifByteType(colours[i] >> 16), GifByteType(colours[i] >> 8), GifByteType(colours[i])};
    return map;
}

void WriteGif(const fs::path& path, int width, int height, const std::vector<uint32_t>& screenColours, int background,
              const std::vector<GifFrame>& frames) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    ASSERT_TRUE(gif);
    EGifSetGifVersion(gif, true);
    ColorMapObject* screen = screenColours.empty() ? nullptr : MakeMap(screenColours);
    ASSERT_EQ(EGifPutScreenDesc(gif, width, height, 8, background, screen), GIF_OK);
    GifFreeMapObject(screen);
    for (const GifFrame& f : frames) {
        GraphicsControlBlock gcb{f.disposal, false, f.delayCs, f.transparent};
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        ColorMapObject* map = f.colours.empty() ? nullptr : MakeMap(f.colours);
        ASSERT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext), GIF_OK);
        ASSERT_EQ(EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, false, map), GIF_OK);
        GifFreeMapObject(map);
        std::vector<GifPixelType> row;
        for (int y = 0; y < f.height; ++y) {
            row.assign(f.indices.begin() + y * f.width, f.indices.begin() + (y + 1) * f.width);
            ASSERT_EQ(EGifPutLine(gif, row.data(), f.width), GIF_OK);
        }
    }
    ASSERT_EQ(EGifCloseFile(gif, &error), GIF_OK);
}

// " PATH", for command lines. (Built by appending: g++ 12 at -O3 warns
// wrongly about a text prepended to a temporary string.)
std::string Spaced(const fs::path& path) {
    std::string s(" ");
    return s += path.string();
}

class PackTest : public ToolTest {
protected:
    enum class Source { Files, Folder };

    // The pictures as input files, and the arguments that name them.
    std::string WriteInputs(const std::vector<Picture>& frames, Source source) {
        const fs::path in = dir_ / "in";
        fs::remove_all(in);
        fs::create_directories(in);
        std::string args;
        for (size_t t = 0; t < frames.size(); ++t) {
            // Listed files keep the order given, whatever their names.
            const fs::path file = in / (source == Source::Folder ? "frame_" + std::to_string(10 + t) + ".png"
                                                                 : std::string(1, char('z' - t)) + ".png");
            WritePng(file, frames[t], kW, int(t % 3));
            args += Spaced(file);
        }
        return source == Source::Folder ? Spaced(in) : args;
    }

    // What INFO says, which the writer puts first: depth, frame format, flags.
    struct Layout {
        int depth, format, flags;  // flags -1: not checked
    };

    // Packs, checks INFO, extracts through the plugin and compares.
    void RoundTrip(const std::vector<Picture>& frames, Source source, const std::string& options, Layout want) {
        const std::string inputs = WriteInputs(frames, source);
        const fs::path out = dir_ / "out.yafa";
        const ToolResult packed = Run("pack --force " + out.string() + inputs + " " + options);
        last_ = packed;
        ASSERT_EQ(packed.code, 0) << packed.err;
        const std::string file = Slurp(out);
        ASSERT_GT(file.size(), 34u);
        auto u16 = [&](size_t at) { return int(uint8_t(file[at])) << 8 | uint8_t(file[at + 1]); };
        EXPECT_EQ(file.substr(12, 4), "INFO");
        EXPECT_EQ(std::vector<int>({u16(24), u16(28), u16(30)}), std::vector<int>({want.depth, int(frames.size()), want.format}));
        EXPECT_TRUE(want.flags < 0 || u16(32) == want.flags) << u16(32);
        fs::remove_all(dir_ / "x");
        const ToolResult extracted = Run("extract " + out.string() + " " + (dir_ / "x").string());
        ASSERT_EQ(extracted.code, 0) << extracted.err;
        for (size_t t = 0; t < frames.size(); ++t)
            ASSERT_EQ(ReadPng(dir_ / "x", t), frames[t]) << "frame " << t;
    }
    ToolResult last_;  // what the last pack said
};

// Every palette depth, deltas of each unit and key-frame mode or none, every
// storage method, shared and per-frame palettes, and each kind of input: the
// choices rotate through two runs per depth, which meet all thirteen delta
// settings. GIF input is read in GifFramesAreComposedWithTheirDelays.
TEST_F(PackTest, PalettePicturesComeBackExactly) {
    const char* storages[] = {"raw", "s404", "fast", "nuke", "rake", "auto"};
    const char* keyFrames[] = {"two", "from1", "from0", "from01"};
    const Source sources[] = {Source::Files, Source::Folder};
    int run = 0;
    for (int depth = 1; depth <= 9; ++depth) {  // 9: chunky 8-bit
        const bool chunky = depth == 9;
        const int bits = chunky ? 8 : depth;
        for (int k = 0; k < 2; ++k, ++run) {
            const int deltaCase = run % 13;  // 12: no deltas
            const bool framePalette = run % 2 == 1;
            const uint32_t colours = bits == 1 ? 2 : (1u << (bits - 1)) + 1;
            std::string options = std::string("--storage ") + storages[run % 6] + (chunky ? " --layout chunky" : "");
            Layout want{bits, chunky ? 3 : 0, framePalette ? 0x02 : 0};
            if (framePalette) options += " --frame-palette";
            if (deltaCase == 12) {
                options += " --no-delta";
                want.format = chunky ? 4 : 0;
            } else {
                const int unit = 1 << (deltaCase % 3);
                const int mode = deltaCase / 3;
                options += " --delta-unit " + std::to_string(unit) + " --keyframes " + keyFrames[mode];
                want.flags |= 0x04 | (unit == 2 ? 0x08 : unit == 4 ? 0x10 : 0) | (mode % 2 ? 0x20 : 0) | (mode >= 2 ? 0x40 : 0);
            }
            // Chunky back buffers split rows unevenly, so wide columns fall back there.
            if (chunky) want.flags = -1;
            SCOPED_TRACE("depth " + std::to_string(bits) + ", " + options);
            RoundTrip(MakeFrames(4, colours, framePalette ? colours / 2 + 1 : 0), sources[run / 2 % 2], options, want);
            if (HasFatalFailure()) return;
        }
    }
}

// More than 256 colours are stored as true colour by default, with a note.
TEST_F(PackTest, TrueColourComesBackExactly) {
    for (const std::string options : {"--depth 15", "--depth 24", ""}) {
        RoundTrip(MakeFrames(3, 400, 3), Source::Files, "--storage auto " + options, {options == "--depth 15" ? 15 : 24, 4, 0});
        if (HasFatalFailure()) return;
        EXPECT_EQ(last_.err.find("stored as 24-bit true colour") != std::string::npos, options.empty()) << last_.err;
    }
}

// Disposal, transparency and partial frames compose as a viewer shows them;
// delays of 1/100 s become ticks of 1/50 s, halves rounded up, 0 becoming 5.
TEST_F(PackTest, GifFramesAreComposedWithTheirDelays) {
    const uint32_t bg = 0x204060, red = 0xF00000, green = 0x00F000, blue = 0x0000F0;
    const int w = 6, h = 4;
    auto fill = [](int n, uint8_t v) { return std::vector<uint8_t>(size_t(n), v); };
    std::vector<GifFrame> frames = {
        {0, 0, w, h, fill(w * h, 1), {}, 7, DISPOSE_DO_NOT},                  // all red (screen table)
        {1, 1, 2, 2, {0, 1, 1, 0}, {green, blue}, 0, DISPOSE_BACKGROUND, 0},  // index 0 transparent
        {3, 0, 2, 1, fill(2, 0), {blue}, 1, DISPOSE_PREVIOUS},                // then taken back
        // Clipped to one pixel. (A table of its own: giflib's writer leaks a frame's
        // table when the next frame has none.)
        {5, 3, 4, 4, fill(16, 2), {bg, red, green}, 10, DISPOSAL_UNSPECIFIED},
    };
    WriteGif(dir_ / "a.gif", w, h, {bg, red, green}, 0, frames);
    std::vector<Picture> want(4, Picture(size_t(w * h), red));
    want[1][1 * w + 2] = want[1][2 * w + 1] = blue;
    want[2] = want[1];
    for (int i : {1 * w + 1, 1 * w + 2, 2 * w + 1, 2 * w + 2}) want[2][size_t(i)] = bg;
    want[2][3] = want[2][4] = blue;
    want[3] = want[2];
    want[3][3] = want[3][4] = red;
    want[3][3 * w + 5] = green;

    const std::string out = (dir_ / "a.yafa").string(), gif = (dir_ / "a.gif").string();
    const ToolResult packed = Run("pack " + out + " " + gif);
    ASSERT_EQ(packed.code, 0);
    EXPECT_EQ(packed.err, "yafa: note: " + gif + " (frame 1): a delay of 0, which viewers show for 100 ms, stored as "
                                                 "100 ms\nyafa: note: " + gif +
                              ": 2 GIF delay(s) rounded up to ticks of 1/50 s (70 ms to 80 ms)\n");
    const Json j = Json::parse(Run("info --json " + out).out);
    EXPECT_EQ(j["delays_ms"], Json({80, 100, 20, 100}));
    ASSERT_EQ(Run("extract " + out + " " + (dir_ / "x").string()).code, 0);
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(ReadPng(dir_ / "x", size_t(t)), want[size_t(t)]) << t;
}

// Each refusal exits 1 with one line that names the culprit.
TEST_F(PackTest, UnusableInputsAndOptionsAreRefused) {
    const fs::path a = dir_ / "a.png", b = dir_ / "b.png", many = dir_ / "many.png", odd = dir_ / "odd.png";
    WritePng(a, MakeFrames(1, 5, 0)[0], kW, 0);
    WritePng(b, Picture(kW * 2, 0), kW, 0);
    WritePng(many, MakeFrames(1, 300, 0)[0], kW, 0);
    WritePng(odd, Picture(kW * kH, 0x123456), kW, 0);
    std::ofstream(dir_ / "text.png") << "not a picture";
    const std::string bomb = Write("bomb.png", PngDeclaring(65535, 65535));
    const std::string out = (dir_ / "o.yafa").string();
    const std::pair<std::string, std::string> cases[] = {
        {out + " " + (dir_ / "missing.png").string(), "missing.png: No such file"},
        {out + " " + (dir_ / "text.png").string(), "text.png: not a PNG or GIF file"},
        {out + " " + a.string() + " " + b.string(), "b.png: the picture is 37 x 2 pixels, the first frame"},
        {out + " " + many.string() + " --layout planar", "many.png: the frames up to this one have more than 256 colours"},
        {out + " " + many.string() + " --frame-palette", "many.png: the picture has more than 256 colours"},
        {out + " " + odd.string() + " --depth 15", "odd.png: colour #123456 at (0, 0) is not exact at depth 15"},
        {out + " " + a.string() + " --depth 24 --delta", "o.yafa: --delta needs depth 8 or less"},
        {a.string() + " " + b.string() + " --force", "a.png: is a picture, never written over; the output comes first"},
        {out + " " + bomb, "bomb.png: the picture is 65535 x 65535 = 4,294,836,225 pixels, more than the limit of 268,435,456"},
        {out + " " + bomb + " --max-pixels 0", "bomb.png: declares 65535 x 65535 pixels, more than its"},
        {out + " " + a.string() + " --max-pixels 100", "a.png: the picture is 37 x 23 = 851 pixels, more than the limit of 100"},
    };
    for (const auto& [args, message] : cases) {
        const ToolResult r = Run("pack " + args);
        EXPECT_EQ(r.code, 1) << args;
        EXPECT_NE(r.err.find(message), std::string::npos) << args << "\n" << r.err;
        EXPECT_TRUE(OneMessage(r.err));
        EXPECT_FALSE(fs::exists(out)) << args;
    }
    EXPECT_TRUE(Leftovers().empty());
}

// What pack changes on the way is noted: transparency laid over black and
// 16-bit samples rounded, and --delay-ms rounded to ticks.
TEST_F(PackTest, SilentChangesAreNoted) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 2;
    image.height = 1;
    image.format = PNG_FORMAT_RGBA | PNG_FORMAT_FLAG_LINEAR;  // 16-bit samples
    // Opaque red, and white at half cover (libpng takes linear samples premultiplied).
    const uint16_t pixels[] = {0xFFFF, 0, 0, 0xFFFF, 0x8000, 0x8000, 0x8000, 0x8000};
    const std::string translucent = (dir_ / "t.png").string();
    ASSERT_TRUE(png_image_write_to_file(&image, translucent.c_str(), 0, pixels, 0, nullptr));
    const std::string out = (dir_ / "t.yafa").string();
    ToolResult r = Run("pack " + out + " " + translucent + " --delay-ms 30");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "yafa: note: " + translucent + ": partly transparent pixels laid over black (YAFA has no "
                                                    "transparency)\nyafa: note: " + translucent +
                         ": 16-bit samples rounded to 8 bits\nyafa: note: --delay-ms 30: stored as 40 ms, in ticks of "
                         "1/50 s\n");
    r = Run("pack --quiet --force " + out + " " + translucent + " --delay-ms 30");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(Run("extract " + out + " " + (dir_ / "x").string()).code, 0);
    EXPECT_EQ(ReadPng(dir_ / "x", 0), Picture({0xFF0000, 0x808080}));
}

// A GIF of 16 one-pixel frames on a 4096 x 4096 screen: pack holds a few
// copies of the screen, not 16 (which took 1.3 GB; 40 frames took 3.3 GB).
TEST_F(PackTest, MemoryFollowsOneFrameNotTheFrameCount) {
    std::vector<GifFrame> frames;
    for (int t = 0; t < 16; ++t) frames.push_back({t * 100, t * 100, 1, 1, {uint8_t(t % 2)}, {}, 4, DISPOSE_DO_NOT});
    WriteGif(dir_ / "big.gif", 4096, 4096, {0x000000, 0xFFFFFF}, 0, frames);
    const ToolResult r = Run("pack " + (dir_ / "big.yafa").string() + " " + (dir_ / "big.gif").string() +
                             " --storage raw");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_LT(r.maxRssKiB, 768 * 1024) << "KiB";
    const Json j = Json::parse(Run("info --json " + (dir_ / "big.yafa").string()).out);
    EXPECT_EQ(j["frames"], 16);
}

// Lossy modes only when asked: quantising, rounding to 15 bits, HAM.
TEST_F(PackTest, ApproximationsNeedTheirOption) {
    WritePng(dir_ / "many.png", MakeFrames(1, 300, 0)[0], kW, 0);
    const std::string in = (dir_ / "many.png").string(), out = (dir_ / "o.yafa").string();
    for (const auto& [options, depth, flags] :
         {std::tuple{"--quantize", 8, 4}, std::tuple{"--quantize --depth 4", 4, 4}, std::tuple{"--ham6", 6, 5},
          std::tuple{"--ham8 --frame-palette", 8, 7}}) {
        const ToolResult r = Run("pack --force " + out + " " + in + " " + options);
        ASSERT_EQ(r.code, 0) << options << r.err;
        const Json j = Json::parse(Run("info --json " + out).out);
        EXPECT_EQ(j["depth"], depth) << options;
        EXPECT_EQ(j["flags"], flags) << options;
        EXPECT_EQ(Run("extract --force " + out + " " + (dir_ / "x").string()).code, 0) << options;
    }
}

}  // namespace
}  // namespace yafa::test
