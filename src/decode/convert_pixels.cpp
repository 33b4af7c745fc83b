#include "decode/convert_pixels.h"

#include <cstring>

namespace yafa {
namespace {

inline void Store(uint8_t* output, size_t n, uint32_t rgb) noexcept { std::memcpy(output + 4 * n, &rgb, 4); }

void PaletteLookup(const uint32_t* palette, const uint8_t* source, uint8_t* output, size_t count) noexcept {
    for (size_t n = 0; n < count; ++n) Store(output, n, palette[source[n]]);
}

void Rgb15(const uint8_t* source, uint8_t* output, size_t count) noexcept {
    for (size_t n = 0; n < count; ++n) {
        const uint32_t v = (uint32_t{source[2 * n]} << 8) | source[2 * n + 1];
        Store(output, n, (((v >> 10) & 31) << 19) | (((v >> 5) & 31) << 11) | ((v & 31) << 3));
    }
}

void Rgb24(const uint8_t* source, uint8_t* output, size_t count) noexcept {
    for (size_t n = 0; n < count; ++n) {
        Store(output, n, (uint32_t{source[3 * n]} << 16) | (uint32_t{source[3 * n + 1]} << 8) | source[3 * n + 2]);
    }
}

// Hold-and-modify: the top `kControlBits` of a pixel name the component it
// changes; 0 loads a palette colour. Every row starts from black.
template <unsigned kValueBits>
void Ham(const uint32_t* palette, const uint8_t* source, uint8_t* output, uint32_t width, uint32_t height) noexcept {
    constexpr unsigned kMask = (1u << kValueBits) - 1;
    constexpr unsigned kShift = 8 - kValueBits;
    for (uint32_t y = 0; y < height; ++y) {
        uint32_t red = 0, green = 0, blue = 0;
        const size_t rowStart = size_t(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t v = source[rowStart + x];
            switch (v >> kValueBits) {
            case 0: {
                const uint32_t c = palette[v];
                red = (c >> 16) & 0xFF;
                green = (c >> 8) & 0xFF;
                blue = c & 0xFF;
                break;
            }
            case 1: blue = (v & kMask) << kShift; break;
            case 2: red = (v & kMask) << kShift; break;
            case 3: green = (v & kMask) << kShift; break;
            default: break;  // HAM6 values of 64 and above hold the pixel before
            }
            Store(output, rowStart + x, (red << 16) | (green << 8) | blue);
        }
    }
}

}  // namespace

void ConvertPixels(const AnimHandle& anim, const uint8_t* source, uint8_t* output, int32_t bytesPerPixel) noexcept {
    const size_t count = anim.pixelCount();
    const auto width = uint32_t(anim.width);
    const auto height = uint32_t(anim.height);
    if (anim.isHam()) {
        if (anim.depth == 6) Ham<4>(anim.palette, source, output, width, height);
        else if (anim.depth == 8) Ham<6>(anim.palette, source, output, width, height);
    } else if (anim.depth == 15) {
        Rgb15(source, output, count);
    } else if (anim.depth == 24) {
        Rgb24(source, output, count);
    } else if (anim.depth <= 8) {
        if (bytesPerPixel == 1) std::memcpy(output, source, count);
        else if (bytesPerPixel == 4) PaletteLookup(anim.palette, source, output, count);
    }
}

}  // namespace yafa
