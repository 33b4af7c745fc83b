#include "image_input.h"

#include <gif_lib.h>
#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace yafa::tool {
namespace {

namespace fs = std::filesystem;

enum class FileKind { Png, Gif, Other };

// Judged by the signature, not the name.
bool SniffFile(const std::string& path, FileKind* kind, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *error = std::strerror(errno);
        return false;
    }
    unsigned char head[8] = {};
    const size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (got == 8 && png_sig_cmp(head, 0, 8) == 0) {
        *kind = FileKind::Png;
    } else if (got >= 6 && (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0)) {
        *kind = FileKind::Gif;
    } else {
        *kind = FileKind::Other;
    }
    return true;
}

bool HasPngExtension(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".png";
}

std::string SizeText(uint32_t width, uint32_t height) { return std::to_string(width) + " x " + std::to_string(height); }

// --- PNG -------------------------------------------------------------------
// libpng reports errors by longjmp. Each setjmp lives in a function of its
// own that keeps nothing with a destructor and no local it changes after the
// setjmp; everything it fills lives with the caller.

struct PngRead {
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::string message;  // libpng's last error
    png_uint_32 width = 0, height = 0;
    ~PngRead() {
        png_destroy_read_struct(&png, &info, nullptr);
        if (file) std::fclose(file);
    }
};

void OnPngError(png_structp png, png_const_charp message) {
    static_cast<PngRead*>(png_get_error_ptr(png))->message = message;
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Header, then transforms that give a palette PNG one index byte per pixel
// and every other colour type and bit depth 8-bit RGBA.
bool PngStart(PngRead* r) {
    if (setjmp(png_jmpbuf(r->png)) != 0) return false;
    png_init_io(r->png, r->file);
    png_set_sig_bytes(r->png, 8);
    // Sizes are checked by the caller, which can say why.
    png_set_user_limits(r->png, 0x7fffffff, 0x7fffffff);
    png_read_info(r->png, r->info);
    r->width = png_get_image_width(r->png, r->info);
    r->height = png_get_image_height(r->png, r->info);
    if (png_get_color_type(r->png, r->info) == PNG_COLOR_TYPE_PALETTE) {
        png_set_packing(r->png);
    } else {
        png_set_expand(r->png);
        png_set_scale_16(r->png);
        png_set_gray_to_rgb(r->png);
        png_set_add_alpha(r->png, 0xFF, PNG_FILLER_AFTER);
    }
    png_set_interlace_handling(r->png);
    png_read_update_info(r->png, r->info);
    return true;
}

bool PngRows(PngRead* r, png_bytepp rows) {
    if (setjmp(png_jmpbuf(r->png)) != 0) return false;
    png_read_image(r->png, rows);
    return true;
}

// --- GIF -------------------------------------------------------------------

std::string GifError(int code) {
    const char* text = GifErrorString(code);
    return text ? text : "giflib error " + std::to_string(code);
}

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int ignored = 0;
        DGifCloseFile(gif, &ignored);
    }
};

uint32_t GifColour(const GifColorType& c) { return uint32_t{c.Red} << 16 | uint32_t{c.Green} << 8 | c.Blue; }

}  // namespace

bool ListInputFiles(const std::vector<std::string>& inputs, std::vector<std::string>* files, bool* gif,
                    InputError* error) {
    files->clear();
    *gif = false;
    for (const std::string& input : inputs) {
        std::error_code ec;
        if (fs::is_directory(input, ec)) {
            std::vector<std::string> found;
            for (const auto& entry : fs::directory_iterator(input, ec)) {
                if (entry.is_regular_file(ec) && HasPngExtension(entry.path())) found.push_back(entry.path().string());
            }
            if (ec) {
                *error = {input, "cannot list the folder: " + ec.message()};
                return false;
            }
            if (found.empty()) {
                *error = {input, "the folder holds no .png files"};
                return false;
            }
            std::sort(found.begin(), found.end());
            files->insert(files->end(), found.begin(), found.end());
            continue;
        }
        FileKind kind = FileKind::Other;
        std::string why;
        if (!SniffFile(input, &kind, &why)) {
            *error = {input, why};
            return false;
        }
        if (kind == FileKind::Other) {
            *error = {input, "not a PNG or GIF file"};
            return false;
        }
        if (kind == FileKind::Gif) {
            if (inputs.size() != 1) {
                *error = {input, "a GIF must be the only input"};
                return false;
            }
            *gif = true;
        }
        files->push_back(input);
    }
    return true;
}

bool ReadPng(const std::string& path, uint32_t* width, uint32_t* height, InputFrame* frame, std::string* error) {
    PngRead r;
    r.file = std::fopen(path.c_str(), "rb");
    if (!r.file) {
        *error = std::strerror(errno);
        return false;
    }
    png_byte signature[8] = {};
    if (std::fread(signature, 1, 8, r.file) != 8 || png_sig_cmp(signature, 0, 8) != 0) {
        *error = "not a PNG file";
        return false;
    }
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r, OnPngError, OnPngWarning);
    r.info = r.png ? png_create_info_struct(r.png) : nullptr;
    if (!r.png || !r.info) {
        *error = "out of memory";
        return false;
    }
    if (!PngStart(&r)) {
        *error = "unreadable PNG: " + r.message;
        return false;
    }
    if (r.width > kMaxFrameSide || r.height > kMaxFrameSide) {
        *error = "the picture is " + SizeText(r.width, r.height) + " pixels; a YAFA frame is at most " +
                 SizeText(kMaxFrameSide, kMaxFrameSide);
        return false;
    }
    const bool paletted = png_get_color_type(r.png, r.info) == PNG_COLOR_TYPE_PALETTE;
    const size_t bytesPerPixel = paletted ? 1 : 4;
    if (png_get_rowbytes(r.png, r.info) != size_t{r.width} * bytesPerPixel) {
        *error = "unsupported PNG layout";
        return false;
    }
    const size_t pixels = size_t{r.width} * r.height;
    std::vector<png_byte> bytes(pixels * bytesPerPixel);
    std::vector<png_bytep> rows(r.height);
    for (size_t y = 0; y < r.height; ++y) rows[y] = bytes.data() + y * r.width * bytesPerPixel;
    if (!PngRows(&r, rows.data())) {
        *error = "unreadable PNG: " + r.message;
        return false;
    }
    auto over = [](uint32_t red, uint32_t green, uint32_t blue, uint32_t a) {
        if (a == 255) return red << 16 | green << 8 | blue;
        return (red * a + 127) / 255 << 16 | (green * a + 127) / 255 << 8 | (blue * a + 127) / 255;
    };
    frame->rgb.resize(pixels);
    frame->indices.clear();
    frame->palette.clear();
    if (paletted) {
        png_colorp plte = nullptr;
        int entries = 0;
        png_get_PLTE(r.png, r.info, &plte, &entries);
        png_bytep alpha = nullptr;
        int alphas = 0;
        png_get_tRNS(r.png, r.info, &alpha, &alphas, nullptr);
        for (int k = 0; k < entries; ++k)
            frame->palette.push_back(over(plte[k].red, plte[k].green, plte[k].blue, k < alphas ? alpha[k] : 255));
        bool inRange = true;
        for (size_t i = 0; i < pixels; ++i) {
            // An index past the palette shows black, as most viewers do.
            inRange = inRange && bytes[i] < frame->palette.size();
            frame->rgb[i] = bytes[i] < frame->palette.size() ? frame->palette[bytes[i]] : 0;
        }
        if (inRange) {
            frame->indices = std::move(bytes);
        } else {
            frame->palette.clear();
        }
    } else {
        for (size_t i = 0; i < pixels; ++i) {
            const png_byte* p = &bytes[i * 4];
            frame->rgb[i] = over(p[0], p[1], p[2], p[3]);
        }
    }
    *width = r.width;
    *height = r.height;
    return true;
}

bool ReadGif(const std::string& path, InputAnimation* out, std::string* error) {
    int code = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpenFileName(path.c_str(), &code));
    if (!gif) {
        *error =
            code == D_GIF_ERR_OPEN_FAILED ? std::string(std::strerror(errno)) : "unreadable GIF: " + GifError(code);
        return false;
    }
    if (DGifSlurp(gif.get()) != GIF_OK) {
        *error = "unreadable GIF: " + GifError(gif->Error);
        return false;
    }
    const auto width = static_cast<uint32_t>(gif->SWidth), height = static_cast<uint32_t>(gif->SHeight);
    if (width == 0 || height == 0) {
        *error = "the GIF's screen is " + SizeText(width, height) + " pixels";
        return false;
    }
    if (gif->ImageCount < 1) {
        *error = "the GIF holds no frames";
        return false;
    }
    if (static_cast<size_t>(gif->ImageCount) > kMaxFrameCount) {
        *error = "the GIF holds " + std::to_string(gif->ImageCount) + " frames; a YAFA file holds at most " +
                 std::to_string(kMaxFrameCount);
        return false;
    }
    const ColorMapObject* screenMap = gif->SColorMap;
    const uint32_t background = screenMap && gif->SBackGroundColor < screenMap->ColorCount
                                    ? GifColour(screenMap->Colors[gif->SBackGroundColor])
                                    : 0;
    std::vector<uint32_t> canvas(size_t{width} * height, background), saved;
    out->width = width;
    out->height = height;
    out->frames.clear();
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        const GifImageDesc& desc = image.ImageDesc;
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
        DGifSavedExtensionToGCB(gif.get(), i, &gcb);
        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : screenMap;
        if (!map) {
            *error = "frame " + std::to_string(i) + " has no colour table";
            return false;
        }
        if (gcb.DisposalMode == DISPOSE_PREVIOUS) saved = canvas;
        // The frame's rectangle, clipped to the screen.
        const int left = std::max(desc.Left, 0), top = std::max(desc.Top, 0);
        const int right = std::min<int>(desc.Left + desc.Width, static_cast<int>(width));
        const int bottom = std::min<int>(desc.Top + desc.Height, static_cast<int>(height));
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) {
                const int index = image.RasterBits[size_t(y - desc.Top) * size_t(desc.Width) + size_t(x - desc.Left)];
                if (index == gcb.TransparentColor) continue;
                // An index past the colour table shows black, as most viewers do.
                canvas[size_t(y) * width + size_t(x)] = index < map->ColorCount ? GifColour(map->Colors[index]) : 0;
            }
        InputFrame frame;
        frame.rgb = canvas;
        frame.delayCs = gcb.DelayTime;
        frame.source = path + " (frame " + std::to_string(i) + ")";
        out->frames.push_back(std::move(frame));
        if (gcb.DisposalMode == DISPOSE_BACKGROUND) {
            for (int y = top; y < bottom; ++y)
                std::fill_n(canvas.begin() + static_cast<std::ptrdiff_t>(size_t(y) * width + size_t(left)),
                            std::max(right - left, 0), background);
        } else if (gcb.DisposalMode == DISPOSE_PREVIOUS) {
            canvas.swap(saved);
        }
    }
    return true;
}

bool ReadInputs(const std::vector<std::string>& inputs, InputAnimation* out, InputError* error,
                const std::function<void(size_t done, size_t total)>& step) {
    std::vector<std::string> files;
    bool gif = false;
    if (!ListInputFiles(inputs, &files, &gif, error)) return false;
    if (gif) {
        std::string why;
        if (ReadGif(files[0], out, &why)) return true;
        *error = {files[0], why};
        return false;
    }
    if (files.size() > kMaxFrameCount) {
        *error = {inputs.front(), "the inputs hold " + std::to_string(files.size()) +
                                      " frames; a YAFA file holds at most " + std::to_string(kMaxFrameCount)};
        return false;
    }
    out->frames.clear();
    out->frames.reserve(files.size());
    for (const std::string& file : files) {
        InputFrame frame;
        frame.source = file;
        uint32_t width = 0, height = 0;
        std::string why;
        if (!ReadPng(file, &width, &height, &frame, &why)) {
            *error = {file, why};
            return false;
        }
        if (out->frames.empty()) {
            out->width = width;
            out->height = height;
        } else if (width != out->width || height != out->height) {
            *error = {file, "the picture is " + SizeText(width, height) + " pixels, the first frame (" +
                                out->frames.front().source + ") " + SizeText(out->width, out->height)};
            return false;
        }
        out->frames.push_back(std::move(frame));
        if (step) step(out->frames.size(), files.size());
    }
    return true;
}

}  // namespace yafa::tool
