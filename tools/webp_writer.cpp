#include "webp_writer.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <limits>

namespace yafa::tool {
namespace {

struct PictureOwner {
    WebPPicture picture;
    PictureOwner() { WebPPictureInit(&picture); }
    ~PictureOwner() { WebPPictureFree(&picture); }
};

std::string EncoderError(WebPAnimEncoder* encoder) {
    const char* text = WebPAnimEncoderGetError(encoder);
    return text && *text ? text : "the WebP encoder failed";
}

}  // namespace

WebpAnimationWriter::WebpAnimationWriter() = default;

WebpAnimationWriter::~WebpAnimationWriter() {
    if (encoder_) WebPAnimEncoderDelete(encoder_);
}

bool WebpAnimationWriter::Open(uint32_t width, uint32_t height, std::string* error) {
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
        *error = "a WebP cannot hold frames of " + std::to_string(width) + " x " + std::to_string(height) +
                 " (at most " + std::to_string(kMaxSide) + " x " + std::to_string(kMaxSide) + ")";
        return false;
    }
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options)) {
        *error = "the WebP library does not match its headers";
        return false;
    }
    options.anim_params.loop_count = 0;  // for ever
    options.allow_mixed = 0;             // lossless frames only
    encoder_ = WebPAnimEncoderNew(static_cast<int>(width), static_cast<int>(height), &options);
    if (!encoder_) {
        *error = "out of memory";
        return false;
    }
    width_ = width;
    height_ = height;
    return true;
}

bool WebpAnimationWriter::AddFrame(const uint32_t* pixels, int32_t delayMs, std::string* error) {
    WebPConfig config;
    if (!WebPConfigInit(&config)) {
        *error = "the WebP library does not match its headers";
        return false;
    }
    config.lossless = 1;
    config.exact = 1;
    config.quality = 75;  // with lossless: the effort, a balance of time and size
    config.method = 4;
    PictureOwner owner;
    WebPPicture& picture = owner.picture;
    picture.use_argb = 1;
    picture.width = static_cast<int>(width_);
    picture.height = static_cast<int>(height_);
    if (!WebPPictureAlloc(&picture)) {
        *error = "out of memory";
        return false;
    }
    for (uint32_t y = 0; y < height_; ++y) {
        const uint32_t* from = pixels + size_t{y} * width_;
        uint32_t* to = picture.argb + size_t{y} * static_cast<size_t>(picture.argb_stride);
        for (uint32_t x = 0; x < width_; ++x) to[x] = 0xFF000000u | from[x];
    }
    if (timestamp_ > std::numeric_limits<int>::max()) {
        *error = "the animation lasts longer than a WebP can tell";
        return false;
    }
    if (!WebPAnimEncoderAdd(encoder_, &picture, static_cast<int>(timestamp_), &config)) {
        *error = EncoderError(encoder_);
        return false;
    }
    timestamp_ += delayMs > 0 ? delayMs : 1;
    ++frames_;
    return true;
}

bool WebpAnimationWriter::Finish(std::vector<uint8_t>* file, std::string* error) {
    if (frames_ == 0) {
        *error = "no frames to write";
        return false;
    }
    if (timestamp_ > std::numeric_limits<int>::max() ||
        !WebPAnimEncoderAdd(encoder_, nullptr, static_cast<int>(timestamp_), nullptr)) {
        *error = timestamp_ > std::numeric_limits<int>::max() ? "the animation lasts longer than a WebP can tell"
                                                               : EncoderError(encoder_);
        return false;
    }
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAssemble(encoder_, &data)) {
        *error = EncoderError(encoder_);
        return false;
    }
    file->assign(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    return true;
}

}  // namespace yafa::tool
