// An animated, endlessly looping GIF written frame by frame with giflib.
#pragma once

#include <cstdint>
#include <string>

#include "colour_reduction.h"

struct GifFileType;

namespace yafa::tool {

// GIF delays are in 1/100 s: the nearest count, at least 2 (many viewers
// replace shorter delays with a slow default), at most 65535.
uint16_t GifDelayFromMs(int32_t ms);

class GifAnimationWriter {
public:
    GifAnimationWriter() = default;
    ~GifAnimationWriter();  // closes a file still open
    GifAnimationWriter(const GifAnimationWriter&) = delete;
    GifAnimationWriter& operator=(const GifAnimationWriter&) = delete;

    // Creates the file, writes the screen descriptor and the loop extension.
    bool Open(const std::string& path, uint32_t width, uint32_t height, std::string* error);
    // One full-size frame with its own colour table.
    bool AddFrame(const PalettedImage& image, int32_t delayMs, std::string* error);
    bool Close(std::string* error);

private:
    GifFileType* gif_ = nullptr;
    uint32_t width_ = 0, height_ = 0;
};

}  // namespace yafa::tool
