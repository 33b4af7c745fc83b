// Lossless animated WebP through libwebp's animation encoder: every pixel
// exact, each frame's delay in milliseconds, looping for ever.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct WebPAnimEncoder;

namespace yafa::tool {

class WebpAnimationWriter {
public:
    WebpAnimationWriter();
    ~WebpAnimationWriter();
    WebpAnimationWriter(const WebpAnimationWriter&) = delete;
    WebpAnimationWriter& operator=(const WebpAnimationWriter&) = delete;

    static constexpr uint32_t kMaxSide = 16383;

    bool Open(uint32_t width, uint32_t height, std::string* error);
    // width × height 0x00RRGGBB pixels, shown for delayMs (at least 1: the
    // encoder gives a frame of no duration 1 ms).
    bool AddFrame(const uint32_t* pixels, int32_t delayMs, std::string* error);
    // The file, from the frames added so far.
    bool Finish(std::vector<uint8_t>* file, std::string* error);

private:
    WebPAnimEncoder* encoder_ = nullptr;
    uint32_t width_ = 0, height_ = 0;
    int64_t timestamp_ = 0;  // where the next frame starts, ms
    int frames_ = 0;
};

}  // namespace yafa::tool
