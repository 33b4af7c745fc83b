// Draws the scenes of the example animations as pictures, for yafa pack
// (examples/make-examples.sh packs them):
//   ball/frame_NN.png   320x200 palette PNGs, 24 frames in 32 colours: a
//                       shaded ball bouncing over a patterned floor. Colours
//                       8..15 are 0..7 in shadow and 16..31 the ball, so
//                       shadow and ball each touch one bitplane of their own.
//   wheel/frame_NN.png  160x120 true colour, 24 frames: a rotating colour wheel.
//   cycle.gif           160x100, 32 frames of 256 colours: a still pattern
//                       whose colour table turns 8 entries a frame (60 ms).
// Only integer arithmetic and IEEE basic operations (no libm series), so the
// pictures are the same on every machine.
//
// Usage: draw_examples OUTPUT_DIRECTORY
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "gif_writer.h"
#include "png_writer.h"

namespace {

// One frame: palette indices and their colours.
struct Frame {
    std::vector<uint8_t> indices;
    std::vector<uint32_t> palette;
};

constexpr double kPi = 3.14159265358979323846;

uint32_t Rgb(int r, int g, int b) {
    auto c = [](int v) { return static_cast<uint32_t>(std::clamp(v, 0, 255)); };
    return c(r) << 16 | c(g) << 8 | c(b);
}

// 4x4 ordered dither thresholds, 0..15.
int Bayer(int x, int y) {
    static constexpr int kMatrix[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    return kMatrix[y & 3][x & 3];
}

// atan2 in degrees, 0..360, from a polynomial on one octant (error ~0.001 deg).
double Atan2Degrees(double y, double x) {
    const double ax = std::fabs(x), ay = std::fabs(y);
    if (ax == 0 && ay == 0) return 0;
    const double z = std::min(ax, ay) / std::max(ax, ay), z2 = z * z;
    double a = z * (0.99997726 + z2 * (-0.33262347 + z2 * (0.19354346 + z2 * (-0.11643287 +
                    z2 * (0.05265332 + z2 * -0.01172120)))));
    if (ay > ax) a = kPi / 2 - a;
    if (x < 0) a = kPi - a;
    if (y < 0) a = 2 * kPi - a;
    return a * 180.0 / kPi;
}

// Hue in degrees, saturation and value 0..1.
uint32_t Hsv(double hue, double saturation, double value) {
    const double h = hue / 60.0;
    const int sector = static_cast<int>(h) % 6;
    const double f = h - std::floor(h);
    const double p = value * (1 - saturation), q = value * (1 - saturation * f), t = value * (1 - saturation * (1 - f));
    double r = value, g = t, b = p;
    switch (sector) {
        case 1: r = q, g = value, b = p; break;
        case 2: r = p, g = value, b = t; break;
        case 3: r = p, g = q, b = value; break;
        case 4: r = t, g = p, b = value; break;
        case 5: r = value, g = p, b = q; break;
        default: break;
    }
    return Rgb(static_cast<int>(r * 255 + 0.5), static_cast<int>(g * 255 + 0.5), static_cast<int>(b * 255 + 0.5));
}

std::string FrameName(int index) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%02d.png", index);
    return name;
}

// A true-colour PNG, or with a palette a palette PNG of its colours.
void SavePng(const std::filesystem::path& dir, int index, uint32_t width, uint32_t height,
             const std::vector<uint32_t>& rgb, const std::vector<uint8_t>& indices = {},
             std::vector<uint32_t> palette = {}) {
    std::filesystem::create_directories(dir);
    const std::string path = (dir / FrameName(index)).string();
    std::string error;
    bool ok;
    if (palette.empty()) {
        ok = yafa::tool::WriteRgbPng(path, width, height, rgb.data(), &error);
    } else {
        const auto colours = static_cast<uint32_t>(palette.size());
        palette.resize(256, 0);
        ok = yafa::tool::WriteIndexedPng(path, width, height, indices.data(), palette.data(), colours, &error);
    }
    if (!ok) throw std::runtime_error(path + ": " + error);
}

// --- The bouncing ball -----------------------------------------------------
// Colours 0..7: sky bands and floor tiles; 8..15 the same in shadow;
// 16..31: the ball from its dark side to the highlight.
std::vector<uint32_t> BallPalette() {
    const uint32_t lit[8] = {Rgb(40, 60, 120), Rgb(60, 90, 160), Rgb(90, 130, 200), Rgb(140, 180, 230),
                             Rgb(200, 190, 160), Rgb(120, 100, 80), Rgb(70, 55, 45), Rgb(230, 220, 200)};
    std::vector<uint32_t> palette;
    for (uint32_t c : lit) palette.push_back(c);
    for (uint32_t c : lit) palette.push_back(c >> 1 & 0x7F7F7F);
    for (int i = 0; i < 16; ++i) palette.push_back(Rgb(30 + i * 15, 10 + i * 6 + (i > 12 ? (i - 12) * 30 : 0), 20 + i * 4 + (i > 12 ? (i - 12) * 40 : 0)));
    return palette;
}

std::vector<Frame> BallFrames(int width, int height, int count) {
    const int horizon = 110, radius = 26;
    const double light[3] = {-0.45, -0.55, 0.70};
    const double lightLength = std::sqrt(light[0] * light[0] + light[1] * light[1] + light[2] * light[2]);
    std::vector<uint8_t> background(static_cast<size_t>(width * height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t c;
            if (y < horizon) {
                c = static_cast<uint8_t>(std::min(3, (y * 4 + Bayer(x, y) * 7) / horizon));  // dithered sky bands
            } else {
                // Floor tiles that widen towards the viewer, with grout lines.
                const int depth = y - horizon + 8;
                const int u = (x - width / 2) * 24 / depth + 1000, v = 4000 / depth;
                const bool grout = u % 12 == 0 || v % 6 == 0;
                c = grout ? 6 : static_cast<uint8_t>(((u / 12 + v / 6) & 1) ? 4 : 5);
                if (y == horizon) c = 7;
            }
            background[static_cast<size_t>(y * width + x)] = c;
        }
    std::vector<Frame> frames(static_cast<size_t>(count));
    for (int t = 0; t < count; ++t) {
        // Across and back once per loop; two bounces per crossing.
        const double phase = static_cast<double>(t) / count;
        const double across = phase < 0.5 ? phase * 2 : 2 - phase * 2;
        const int cx = radius + 8 + static_cast<int>(across * (width - 2 * radius - 16));
        const double hop = std::fmod(phase * 4, 1.0) * 2 - 1;
        const int floorY = 168;
        const int cy = floorY - radius - static_cast<int>((1 - hop * hop) * 80);
        std::vector<uint8_t> pixels = background;
        // Shadow: an ellipse on the floor that shrinks as the ball rises.
        const int shadowW = radius + 10 - (floorY - radius - cy) / 8, shadowH = shadowW / 4;
        for (int y = floorY - shadowH; y <= floorY + shadowH; ++y)
            for (int x = cx - shadowW; x <= cx + shadowW; ++x) {
                const double ex = static_cast<double>(x - cx) / shadowW, ey = static_cast<double>(y - floorY) / shadowH;
                if (x >= 0 && x < width && ex * ex + ey * ey <= 1) pixels[static_cast<size_t>(y * width + x)] |= 8;
            }
        for (int y = cy - radius; y <= cy + radius; ++y)
            for (int x = cx - radius; x <= cx + radius; ++x) {
                const double nx = static_cast<double>(x - cx) / radius, ny = static_cast<double>(y - cy) / radius;
                const double d = nx * nx + ny * ny;
                if (d > 1 || x < 0 || x >= width || y < 0) continue;
                const double nz = std::sqrt(1 - d);
                const double diffuse = std::max(0.0, (nx * light[0] + ny * light[1] + nz * light[2]) / lightLength);
                double specular = diffuse * diffuse;
                specular *= specular, specular *= specular, specular *= specular;  // diffuse^16
                const double level = 0.12 + 0.7 * diffuse + 0.35 * specular;
                const int shade = static_cast<int>(level * 15 + Bayer(x, y) / 16.0);
                pixels[static_cast<size_t>(y * width + x)] = static_cast<uint8_t>(16 + std::clamp(shade, 0, 15));
            }
        frames[static_cast<size_t>(t)].indices = std::move(pixels);
    }
    return frames;
}

// --- The colour wheel ------------------------------------------------------
// Twelve-degree hue steps in five rings, turning one step every two frames.
std::vector<uint32_t> WheelImage(int width, int height, int t) {
    std::vector<uint32_t> rgb(static_cast<size_t>(width * height), Rgb(24, 24, 32));
    const double cx = width / 2.0 - 0.5, cy = height / 2.0 - 0.5, outer = height / 2.0 - 4;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double dx = x - cx, dy = y - cy, r = std::sqrt(dx * dx + dy * dy);
            if (r > outer) continue;
            const int ring = std::min(4, static_cast<int>(r / outer * 5));
            const double angle = Atan2Degrees(dy, dx) + t * 6.0;
            const int step = static_cast<int>(angle / 12.0) % 30;
            rgb[static_cast<size_t>(y * width + x)] = Hsv(step * 12.0, 0.2 + ring * 0.2, ring == 0 ? 1.0 : 0.95);
        }
    return rgb;
}

// --- Palette cycling -------------------------------------------------------
std::vector<Frame> CycleFrames(int width, int height, int count) {
    std::vector<uint8_t> pattern(static_cast<size_t>(width * height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            // Rings around two centres, added: interference bands.
            const int ax = x - width / 3, ay = y - height / 2, bx = x - width * 3 / 4, by = y - height / 4;
            const double a = std::sqrt(static_cast<double>(ax * ax + ay * ay));
            const double b = std::sqrt(static_cast<double>(bx * bx + by * by));
            pattern[static_cast<size_t>(y * width + x)] = static_cast<uint8_t>(static_cast<int>((a + b) * 2.5) & 255);
        }
    std::vector<Frame> frames(static_cast<size_t>(count));
    for (int t = 0; t < count; ++t) {
        Frame& f = frames[static_cast<size_t>(t)];
        f.indices = pattern;
        for (int i = 0; i < 256; ++i) {
            const int k = (i + t * 8) & 255;  // the colours move 8 entries a frame
            f.palette.push_back(Hsv(k * 360.0 / 256, 0.85, 0.55 + 0.45 * (k & 31) / 31.0));
        }
    }
    return frames;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw_examples OUTPUT_DIRECTORY\n");
        return 1;
    }
    const std::filesystem::path dir = argv[1];
    try {
        const std::vector<uint32_t> ballPalette = BallPalette();
        const auto ball = BallFrames(320, 200, 24);
        for (size_t t = 0; t < ball.size(); ++t)
            SavePng(dir / "ball", static_cast<int>(t), 320, 200, {}, ball[t].indices, ballPalette);
        for (int t = 0; t < 24; ++t) SavePng(dir / "wheel", t, 160, 120, WheelImage(160, 120, t));

        const std::string gifPath = (dir / "cycle.gif").string();
        std::FILE* file = std::fopen(gifPath.c_str(), "wb");
        if (!file) throw std::runtime_error(gifPath + ": cannot create");
        yafa::tool::GifAnimationWriter gif;
        std::string error;
        bool ok = gif.Open(file, 160, 100, {}, &error);
        std::vector<uint32_t> rgb;
        for (const Frame& f : CycleFrames(160, 100, 32)) {
            rgb.resize(f.indices.size());
            for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = f.palette[f.indices[i]];
            ok = ok && gif.AddFrame(rgb.data(), 6, &error);
        }
        ok = ok && gif.Close(&error);
        ok = std::fclose(file) == 0 && ok;
        if (!ok) throw std::runtime_error(gifPath + ": " + error);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "draw_examples: %s\n", e.what());
        return 1;
    }
    return 0;
}
