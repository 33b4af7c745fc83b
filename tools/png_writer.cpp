#include "png_writer.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace yafa::tool {
namespace {

// libpng reports errors by longjmp; nothing with a destructor may live
// between setjmp and the calls that can jump, so all buffers are made by the
// caller and passed in.
struct PngJob {
    uint32_t width, height;
    int colourType;
    const std::vector<png_color>* plte;
    const std::vector<uint8_t>* rows;  // height rows of rowBytes
    size_t rowBytes;
};

void OnPngWarning(png_structp, png_const_charp) {}

void OnPngError(png_structp png, png_const_charp message) {
    auto* error = static_cast<std::string*>(png_get_error_ptr(png));
    if (error) *error = message;
    png_longjmp(png, 1);
}

bool WritePng(const std::string& path, const PngJob& job, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        *error = std::strerror(errno);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, nullptr);
        std::fclose(f);
        *error = "out of memory";
        return false;
    }
    bool ok = false;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, f);
        png_set_IHDR(png, info, job.width, job.height, 8, job.colourType, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        if (job.plte) png_set_PLTE(png, info, job.plte->data(), static_cast<int>(job.plte->size()));
        png_write_info(png, info);
        for (uint32_t y = 0; y < job.height; ++y) {
            png_write_row(png, job.rows->data() + y * job.rowBytes);
        }
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    if (std::fclose(f) != 0 && ok) {
        *error = std::strerror(errno);
        ok = false;
    }
    return ok;
}

bool CheckSize(uint32_t width, uint32_t height, std::string* error) {
    if (width == 0 || height == 0 || width > PNG_USER_WIDTH_MAX || height > PNG_USER_HEIGHT_MAX) {
        *error = "a PNG cannot hold a frame of " + std::to_string(width) + " x " + std::to_string(height);
        return false;
    }
    return true;
}

}  // namespace

bool WriteRgbPng(const std::string& path, uint32_t width, uint32_t height, const uint32_t* pixels, std::string* error) {
    if (!CheckSize(width, height, error)) return false;
    const size_t count = size_t{width} * height;
    std::vector<uint8_t> rows(count * 3);
    for (size_t i = 0; i < count; ++i) {
        rows[3 * i] = static_cast<uint8_t>(pixels[i] >> 16);
        rows[3 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
        rows[3 * i + 2] = static_cast<uint8_t>(pixels[i]);
    }
    return WritePng(path, PngJob{width, height, PNG_COLOR_TYPE_RGB, nullptr, &rows, size_t{width} * 3}, error);
}

bool WriteIndexedPng(const std::string& path, uint32_t width, uint32_t height, const uint8_t* indices,
                     const uint32_t* palette, uint32_t paletteSize, std::string* error) {
    if (!CheckSize(width, height, error)) return false;
    const size_t count = size_t{width} * height;
    std::vector<uint8_t> rows(indices, indices + count);
    const uint32_t used = count ? uint32_t{*std::max_element(rows.begin(), rows.end())} + 1 : 1;
    std::vector<png_color> plte(std::clamp<uint32_t>(std::max(paletteSize, used), 1, 256));
    for (size_t i = 0; i < plte.size(); ++i) {
        const uint32_t c = palette ? palette[i] : 0;
        plte[i] = png_color{static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8), static_cast<png_byte>(c)};
    }
    return WritePng(path, PngJob{width, height, PNG_COLOR_TYPE_PALETTE, &plte, &rows, width}, error);
}

}  // namespace yafa::tool
