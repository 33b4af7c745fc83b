#include "gif_writer.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace yafa::tool {
namespace {

std::string GifError(int code) {
    const char* text = GifErrorString(code);
    return text ? text : "giflib error " + std::to_string(code);
}

}  // namespace

uint16_t GifDelayFromMs(int32_t ms) {
    const int64_t cs = (int64_t{ms} + 5) / 10;
    return static_cast<uint16_t>(std::clamp<int64_t>(cs, 2, 65535));
}

GifAnimationWriter::~GifAnimationWriter() {
    if (gif_) {
        int ignored = 0;
        EGifCloseFile(gif_, &ignored);
    }
}

bool GifAnimationWriter::Open(const std::string& path, uint32_t width, uint32_t height, std::string* error) {
    if (width == 0 || height == 0 || width > 65535 || height > 65535) {
        *error = "a GIF cannot hold frames of " + std::to_string(width) + " x " + std::to_string(height);
        return false;
    }
    // giflib's own open creates files readable by their owner only.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = std::string("cannot create: ") + std::strerror(errno);
        return false;
    }
    int code = 0;
    gif_ = EGifOpenFileHandle(fd, &code);
    if (!gif_) {
        ::close(fd);
        *error = GifError(code);
        return false;
    }
    width_ = width;
    height_ = height;
    EGifSetGifVersion(gif_, true);
    static const GifByteType kNetscape[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    static const GifByteType kLoopForever[] = {1, 0, 0};  // sub-block 1, loop count 0
    if (EGifPutScreenDesc(gif_, static_cast<int>(width), static_cast<int>(height), 8, 0, nullptr) != GIF_OK ||
        EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
        EGifPutExtensionBlock(gif_, sizeof kNetscape, kNetscape) != GIF_OK ||
        EGifPutExtensionBlock(gif_, sizeof kLoopForever, kLoopForever) != GIF_OK ||
        EGifPutExtensionTrailer(gif_) != GIF_OK) {
        *error = GifError(gif_->Error);
        return false;
    }
    return true;
}

bool GifAnimationWriter::AddFrame(const PalettedImage& image, int32_t delayMs, std::string* error) {
    GraphicsControlBlock gcb{};
    gcb.DisposalMode = DISPOSE_DO_NOT;
    gcb.UserInputFlag = false;
    gcb.DelayTime = GifDelayFromMs(delayMs);
    gcb.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    EGifGCBToExtension(&gcb, extension);

    // A colour table has 2 to 256 entries, a power of two.
    int tableSize = 2;
    while (tableSize < static_cast<int>(image.colours.size())) tableSize *= 2;
    std::vector<GifColorType> colours(static_cast<size_t>(tableSize), GifColorType{0, 0, 0});
    for (size_t i = 0; i < image.colours.size() && i < colours.size(); ++i) {
        const uint32_t c = image.colours[i];
        colours[i] = GifColorType{static_cast<GifByteType>(c >> 16), static_cast<GifByteType>(c >> 8),
                                  static_cast<GifByteType>(c)};
    }
    ColorMapObject* map = GifMakeMapObject(tableSize, colours.data());
    if (!map) {
        *error = "out of memory";
        return false;
    }
    bool ok = EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension) == GIF_OK &&
              EGifPutImageDesc(gif_, 0, 0, static_cast<int>(width_), static_cast<int>(height_), false, map) == GIF_OK;
    GifFreeMapObject(map);
    // giflib masks the pixels of the line it is given in place.
    std::vector<GifPixelType> row(width_);
    for (uint32_t y = 0; ok && y < height_; ++y) {
        std::copy_n(image.indices.begin() + static_cast<ptrdiff_t>(size_t{y} * width_), width_, row.begin());
        ok = EGifPutLine(gif_, row.data(), static_cast<int>(width_)) == GIF_OK;
    }
    if (!ok) *error = GifError(gif_->Error);
    return ok;
}

bool GifAnimationWriter::Close(std::string* error) {
    int code = 0;
    const int result = EGifCloseFile(gif_, &code);
    gif_ = nullptr;
    if (result != GIF_OK) {
        *error = GifError(code);
        return false;
    }
    return true;
}

}  // namespace yafa::tool
