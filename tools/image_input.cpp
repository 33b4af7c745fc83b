#include "image_input.h"

#include <gif_lib.h>
#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "messages.h"

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
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext == ".png";
}

std::string SizeText(uint64_t width, uint64_t height) { return std::to_string(width) + " x " + std::to_string(height); }

std::string TooManyPixels(uint64_t width, uint64_t height, uint64_t maxPixels) {
    return "the picture is " + SizeText(width, height) + " = " + Grouped(width * height) +
           " pixels, more than the limit of " + Grouped(maxPixels) + "; give --max-pixels 0 to lift it";
}

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
    int bitDepth = 0, channels = 0;  // as stored
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

bool PngHeader(PngRead* r) {
    if (setjmp(png_jmpbuf(r->png)) != 0) return false;
    png_init_io(r->png, r->file);
    png_set_sig_bytes(r->png, 8);
    // Sizes are checked by the caller, which can say why.
    png_set_user_limits(r->png, 0x7fffffff, 0x7fffffff);
    png_read_info(r->png, r->info);
    r->width = png_get_image_width(r->png, r->info);
    r->height = png_get_image_height(r->png, r->info);
    r->bitDepth = png_get_bit_depth(r->png, r->info);
    r->channels = png_get_channels(r->png, r->info);
    return true;
}

// Transforms that give a palette PNG one index byte per pixel and every
// other colour type and bit depth 8-bit RGBA.
bool PngTransforms(PngRead* r) {
    if (setjmp(png_jmpbuf(r->png)) != 0) return false;
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

// Deflate codes at most 258 bytes in a little over two bits, so a PNG's
// pixel data is at most 1032 times its compressed size; the whole file
// stands in for the compressed size.
constexpr uint64_t kDeflateMaxRatio = 1032;

// --- Sources ---------------------------------------------------------------

struct FileEntry {
    std::string path, name;
};

class PngFiles final : public FrameSource {
public:
    PngFiles(std::vector<FileEntry> files, uint64_t maxPixels) : files_(std::move(files)), maxPixels_(maxPixels) {}

    bool Next(InputFrame* frame, InputError* error) override {
        *error = {};
        if (next_ == files_.size()) return false;
        const FileEntry& file = files_[next_];
        uint32_t width = 0, height = 0;
        std::string why;
        if (!ReadPng(file.path, maxPixels_, &width, &height, frame, &why)) {
            *error = {file.name, why};
            return false;
        }
        frame->source = file.name;
        if (next_ == 0) {
            width_ = width;
            height_ = height;
            first_ = file.name;
        } else if (width != width_ || height != height_) {
            *error = {file.name, "the picture is " + SizeText(width, height) + " pixels, the first frame (" + first_ +
                                     ") " + SizeText(width_, height_)};
            return false;
        }
        ++next_;
        return true;
    }
    bool Rewind(InputError*) override {
        next_ = 0;
        return true;
    }
    size_t knownCount() const override { return files_.size(); }

private:
    std::vector<FileEntry> files_;
    uint64_t maxPixels_;
    size_t next_ = 0;
    std::string first_;
};

std::string GifError(int code) {
    const char* text = GifErrorString(code);
    return text ? text : "giflib error " + std::to_string(code);
}

uint32_t GifColour(const GifColorType& c) { return uint32_t{c.Red} << 16 | uint32_t{c.Green} << 8 | c.Blue; }

// Frames of a GIF, composed on a canvas of the screen's size as a viewer
// shows them; the file is read as it goes, one frame's lines at a time.
class GifFrames final : public FrameSource {
public:
    GifFrames(FileEntry file, uint64_t maxPixels) : file_(std::move(file)), maxPixels_(maxPixels) {}
    ~GifFrames() override { Close(); }

    bool Rewind(InputError* error) override {
        Close();
        *error = {};
        int code = 0;
        gif_ = DGifOpenFileName(file_.path.c_str(), &code);
        if (!gif_) {
            *error = {file_.name, code == D_GIF_ERR_OPEN_FAILED ? std::string(std::strerror(errno))
                                                                  : "unreadable GIF: " + GifError(code)};
            return false;
        }
        width_ = static_cast<uint32_t>(gif_->SWidth);
        height_ = static_cast<uint32_t>(gif_->SHeight);
        if (width_ == 0 || height_ == 0) return Fail(error, "the GIF's screen is " + SizeText(width_, height_) + " pixels");
        if (maxPixels_ && uint64_t{width_} * height_ > maxPixels_)
            return Fail(error, TooManyPixels(width_, height_, maxPixels_));
        const ColorMapObject* screen = gif_->SColorMap;
        background_ = screen && gif_->SBackGroundColor < screen->ColorCount
                          ? GifColour(screen->Colors[gif_->SBackGroundColor])
                          : 0;
        canvas_.assign(size_t{width_} * height_, background_);
        count_ = 0;
        ended_ = false;
        return true;
    }

    bool Next(InputFrame* frame, InputError* error) override {
        *error = {};
        if (!gif_ && (ended_ || !Rewind(error))) return false;
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
        for (;;) {
            GifRecordType type = UNDEFINED_RECORD_TYPE;
            if (DGifGetRecordType(gif_, &type) != GIF_OK) return Fail(error, "unreadable GIF: " + GifError(gif_->Error));
            if (type == TERMINATE_RECORD_TYPE) {
                if (count_ == 0) return Fail(error, "the GIF holds no frames");
                Close();
                ended_ = true;
                return false;
            }
            if (type == EXTENSION_RECORD_TYPE) {
                int code = 0;
                GifByteType* block = nullptr;
                if (DGifGetExtension(gif_, &code, &block) != GIF_OK)
                    return Fail(error, "unreadable GIF: " + GifError(gif_->Error));
                if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
                    DGifExtensionToGCB(block[0], block + 1, &gcb);
                while (block) {
                    if (DGifGetExtensionNext(gif_, &block) != GIF_OK)
                        return Fail(error, "unreadable GIF: " + GifError(gif_->Error));
                }
                continue;
            }
            if (type != IMAGE_DESC_RECORD_TYPE) continue;
            if (count_ == kMaxFrameCount)
                return Fail(error, "the GIF holds more than " + std::to_string(kMaxFrameCount) +
                                       " frames, the most a YAFA file holds");
            if (DGifGetImageDesc(gif_) != GIF_OK) return Fail(error, "unreadable GIF: " + GifError(gif_->Error));
            if (!DrawImage(gcb, error)) return false;
            frame->rgb = canvas_;
            frame->indices.clear();
            frame->palette.clear();
            frame->delayCs = gcb.DelayTime;
            frame->source = file_.name + " (frame " + std::to_string(count_) + ")";
            frame->translucent = frame->deepSamples = false;
            Dispose(gcb);
            ++count_;
            return true;
        }
    }

    size_t knownCount() const override { return ended_ ? count_ : 0; }

private:
    bool Fail(InputError* error, const std::string& message) {
        *error = {count_ ? file_.name + " (frame " + std::to_string(count_) + ")" : file_.name, message};
        Close();
        ended_ = true;
        return false;
    }

    void Close() {
        if (gif_) {
            int ignored = 0;
            DGifCloseFile(gif_, &ignored);
            gif_ = nullptr;
        }
    }

    // Lays the image over the canvas: transparent pixels keep what is there,
    // parts outside the screen are cut off, interlaced rows go to their place.
    bool DrawImage(const GraphicsControlBlock& gcb, InputError* error) {
        const GifImageDesc& desc = gif_->Image;
        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif_->SColorMap;
        if (!map) return Fail(error, "the frame has no colour table");
        if (gcb.DisposalMode == DISPOSE_PREVIOUS) saved_ = canvas_;
        const auto imageWidth = static_cast<uint32_t>(desc.Width), imageHeight = static_cast<uint32_t>(desc.Height);
        row_.resize(imageWidth);
        static constexpr uint32_t kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
        uint32_t pass = 0, y = 0;
        for (uint32_t line = 0; line < imageHeight; ++line) {
            if (imageWidth && DGifGetLine(gif_, row_.data(), desc.Width) != GIF_OK)
                return Fail(error, "unreadable GIF: " + GifError(gif_->Error));
            const int64_t screenY = int64_t{desc.Top} + (desc.Interlace ? y : line);
            if (desc.Interlace) {
                y += kStep[pass];
                while (pass < 3 && y >= imageHeight) y = kStart[++pass];
            }
            if (screenY < 0 || screenY >= int64_t{height_}) continue;
            uint32_t* out = canvas_.data() + static_cast<size_t>(screenY) * width_;
            for (uint32_t x = 0; x < imageWidth; ++x) {
                const int64_t screenX = int64_t{desc.Left} + x;
                if (screenX < 0 || screenX >= int64_t{width_} || row_[x] == gcb.TransparentColor) continue;
                // An index past the colour table shows black, as most viewers do.
                out[screenX] = row_[x] < map->ColorCount ? GifColour(map->Colors[row_[x]]) : 0;
            }
        }
        rect_ = {std::clamp<int64_t>(desc.Left, 0, width_), std::clamp<int64_t>(desc.Top, 0, height_),
                 std::clamp<int64_t>(int64_t{desc.Left} + desc.Width, 0, width_),
                 std::clamp<int64_t>(int64_t{desc.Top} + desc.Height, 0, height_)};
        return true;
    }

    // What the frame leaves for the next: its rectangle cleared to the
    // background, the canvas as it was before it, or itself.
    void Dispose(const GraphicsControlBlock& gcb) {
        if (gcb.DisposalMode == DISPOSE_BACKGROUND) {
            for (int64_t y = rect_.top; y < rect_.bottom; ++y)
                std::fill(canvas_.begin() + y * width_ + rect_.left, canvas_.begin() + y * width_ + rect_.right,
                          background_);
        } else if (gcb.DisposalMode == DISPOSE_PREVIOUS) {
            canvas_.swap(saved_);
        }
    }

    FileEntry file_;
    uint64_t maxPixels_;
    GifFileType* gif_ = nullptr;
    bool ended_ = false;
    size_t count_ = 0;
    uint32_t background_ = 0;
    std::vector<uint32_t> canvas_, saved_;
    std::vector<GifPixelType> row_;
    struct {
        int64_t left, top, right, bottom;
    } rect_{};
};

}  // namespace

std::unique_ptr<FrameSource> FrameSource::Open(const std::vector<const Input*>& inputs, uint64_t maxPixels,
                                               InputError* error) {
    std::vector<FileEntry> files;
    bool gif = false;
    for (const Input* input : inputs) {
        std::error_code ec;
        if (!input->isStandardInput() && fs::is_directory(input->path(), ec)) {
            std::vector<std::string> found;
            for (const auto& entry : fs::directory_iterator(input->path(), ec)) {
                if (entry.is_regular_file(ec) && HasPngExtension(entry.path())) found.push_back(entry.path().string());
            }
            if (ec) {
                *error = {input->name(), "cannot list the folder: " + ec.message()};
                return nullptr;
            }
            if (found.empty()) {
                *error = {input->name(), "the folder holds no .png files"};
                return nullptr;
            }
            std::sort(found.begin(), found.end());
            for (std::string& f : found) files.push_back({f, f});
            continue;
        }
        FileKind kind = FileKind::Other;
        std::string why;
        if (!SniffFile(input->path(), &kind, &why)) {
            *error = {input->name(), why};
            return nullptr;
        }
        if (kind == FileKind::Other) {
            *error = {input->name(), "not a PNG or GIF file"};
            return nullptr;
        }
        if (kind == FileKind::Gif) {
            if (inputs.size() != 1) {
                *error = {input->name(), "a GIF must be the only input"};
                return nullptr;
            }
            gif = true;
        }
        files.push_back({input->path(), input->name()});
    }
    if (gif) return std::make_unique<GifFrames>(files.front(), maxPixels);
    if (files.size() > kMaxFrameCount) {
        *error = {inputs.front()->name(), "the inputs hold " + std::to_string(files.size()) +
                                              " frames; a YAFA file holds at most " + std::to_string(kMaxFrameCount)};
        return nullptr;
    }
    return std::make_unique<PngFiles>(std::move(files), maxPixels);
}

bool ReadPng(const std::string& path, uint64_t maxPixels, uint32_t* width, uint32_t* height, InputFrame* frame,
             std::string* error) {
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
    if (!PngHeader(&r)) {
        *error = "unreadable PNG: " + r.message;
        return false;
    }
    if (r.width > kMaxFrameSide || r.height > kMaxFrameSide) {
        *error = "the picture is " + SizeText(r.width, r.height) + " pixels; a YAFA frame is at most " +
                 SizeText(kMaxFrameSide, kMaxFrameSide);
        return false;
    }
    const uint64_t pixels = uint64_t{r.width} * r.height;
    if (maxPixels && pixels > maxPixels) {
        *error = TooManyPixels(r.width, r.height, maxPixels);
        return false;
    }
    struct stat st {};
    const uint64_t fileBytes = ::fstat(::fileno(r.file), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    const uint64_t leastData = pixels * static_cast<uint64_t>(r.bitDepth * r.channels) / 8;
    if (fileBytes && leastData / kDeflateMaxRatio > fileBytes) {
        *error = "declares " + SizeText(r.width, r.height) + " pixels, more than its " + std::to_string(fileBytes) +
                 " bytes can hold";
        return false;
    }
    if (!PngTransforms(&r)) {
        *error = "unreadable PNG: " + r.message;
        return false;
    }
    const bool paletted = png_get_color_type(r.png, r.info) == PNG_COLOR_TYPE_PALETTE;
    const size_t bytesPerPixel = paletted ? 1 : 4;
    if (png_get_rowbytes(r.png, r.info) != size_t{r.width} * bytesPerPixel) {
        *error = "unsupported PNG layout";
        return false;
    }
    std::vector<png_byte> bytes(pixels * bytesPerPixel);
    std::vector<png_bytep> rows(r.height);
    for (size_t y = 0; y < r.height; ++y) rows[y] = bytes.data() + y * r.width * bytesPerPixel;
    if (!PngRows(&r, rows.data())) {
        *error = "unreadable PNG: " + r.message;
        return false;
    }
    bool translucent = false;
    auto over = [&translucent](uint32_t red, uint32_t green, uint32_t blue, uint32_t a) {
        if (a == 255) return red << 16 | green << 8 | blue;
        translucent = true;
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
        std::vector<bool> used(256, false);
        for (size_t i = 0; i < pixels; ++i) used[bytes[i]] = true;
        for (int k = 0; k < entries; ++k) {
            const bool before = translucent;  // only colours that appear count
            frame->palette.push_back(over(plte[k].red, plte[k].green, plte[k].blue, k < alphas ? alpha[k] : 255));
            translucent = before || (translucent && used[size_t(k)]);
        }
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
    frame->translucent = translucent;
    frame->deepSamples = r.bitDepth == 16;
    frame->delayCs = -1;
    *width = r.width;
    *height = r.height;
    return true;
}

}  // namespace yafa::tool
