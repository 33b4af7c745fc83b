#include "png_writer.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
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
    const uint32_t* rgb;      // RGB: converted a row at a time into `row`
    const uint8_t* indices;   // palette: written as they are
    std::vector<uint8_t>* row;
};

void OnPngWarning(png_structp, png_const_charp) {}

void OnPngError(png_structp png, png_const_charp message) {
    auto* error = static_cast<std::string*>(png_get_error_ptr(png));
    if (error) *error = message;
    png_longjmp(png, 1);
}

bool RunJob(png_structp png, png_infop info, std::FILE* out, const PngJob& job) {
    if (setjmp(png_jmpbuf(png)) != 0) return false;
    png_init_io(png, out);
    png_set_IHDR(png, info, job.width, job.height, 8, job.colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (job.plte) png_set_PLTE(png, info, job.plte->data(), static_cast<int>(job.plte->size()));
    png_write_info(png, info);
    for (uint32_t y = 0; y < job.height; ++y) {
        if (job.indices) {
            png_write_row(png, job.indices + size_t{y} * job.width);
            continue;
        }
        const uint32_t* p = job.rgb + size_t{y} * job.width;
        uint8_t* q = job.row->data();
        for (uint32_t x = 0; x < job.width; ++x, q += 3) {
            q[0] = static_cast<uint8_t>(p[x] >> 16);
            q[1] = static_cast<uint8_t>(p[x] >> 8);
            q[2] = static_cast<uint8_t>(p[x]);
        }
        png_write_row(png, job.row->data());
    }
    png_write_end(png, nullptr);
    return true;
}

bool WritePng(std::FILE* out, const PngJob& job, std::string* error) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, nullptr);
        *error = "out of memory";
        return false;
    }
    const bool ok = RunJob(png, info, out, job);
    png_destroy_write_struct(&png, &info);
    if (ok && std::ferror(out)) {
        *error = std::string("cannot write: ") + std::strerror(errno);
        return false;
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

template <typename Write>
bool ToFile(const std::string& path, std::string* error, Write write) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        *error = std::strerror(errno);
        return false;
    }
    bool ok = write(f);
    if (std::fclose(f) != 0 && ok) {
        *error = std::strerror(errno);
        ok = false;
    }
    return ok;
}

}  // namespace

bool WriteRgbPng(std::FILE* out, uint32_t width, uint32_t height, const uint32_t* pixels, std::string* error) {
    if (!CheckSize(width, height, error)) return false;
    std::vector<uint8_t> row(size_t{width} * 3);
    return WritePng(out, PngJob{width, height, PNG_COLOR_TYPE_RGB, nullptr, pixels, nullptr, &row}, error);
}

bool WriteIndexedPng(std::FILE* out, uint32_t width, uint32_t height, const uint8_t* indices,
                     const uint32_t* palette, uint32_t paletteSize, std::string* error) {
    if (!CheckSize(width, height, error)) return false;
    const size_t count = size_t{width} * height;
    const uint32_t used = uint32_t{*std::max_element(indices, indices + count)} + 1;
    std::vector<png_color> plte(std::clamp<uint32_t>(std::max(paletteSize, used), 1, 256));
    for (size_t i = 0; i < plte.size(); ++i) {
        const uint32_t c = palette ? palette[i] : 0;
        plte[i] = png_color{static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8), static_cast<png_byte>(c)};
    }
    return WritePng(out, PngJob{width, height, PNG_COLOR_TYPE_PALETTE, &plte, nullptr, indices, nullptr}, error);
}

bool WriteRgbPng(const std::string& path, uint32_t width, uint32_t height, const uint32_t* pixels, std::string* error) {
    return ToFile(path, error, [&](std::FILE* f) { return WriteRgbPng(f, width, height, pixels, error); });
}

bool WriteIndexedPng(const std::string& path, uint32_t width, uint32_t height, const uint8_t* indices,
                     const uint32_t* palette, uint32_t paletteSize, std::string* error) {
    return ToFile(path, error,
                  [&](std::FILE* f) { return WriteIndexedPng(f, width, height, indices, palette, paletteSize, error); });
}

}  // namespace yafa::tool
