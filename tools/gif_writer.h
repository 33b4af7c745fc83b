// Animated, endlessly looping GIFs, written small: each frame stores only
// the rectangle that changed since the frame before, with a transparent
// index for the pixels inside it that did not change when that packs
// smaller, and all frames share one colour table when their colours fit in
// it. giflib does the LZW coding.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

namespace yafa::tool {

// GIF delays are in 1/100 s: the nearest count, at least 2 (many viewers
// replace shorter delays with a slow default), at most 65535.
uint16_t GifDelayFromMs(int32_t ms);

class GifAnimationWriter {
public:
    GifAnimationWriter() = default;
    GifAnimationWriter(const GifAnimationWriter&) = delete;
    GifAnimationWriter& operator=(const GifAnimationWriter&) = delete;

    // Writes the header, the screen and the loop extension. globalColours
    // (at most 256, 0x00RRGGBB) holds every colour of every frame; empty,
    // each frame gets a colour table of its own.
    bool Open(std::FILE* out, uint32_t width, uint32_t height, std::vector<uint32_t> globalColours,
              std::string* error);
    // One frame, the whole picture as shown: width × height 0x00RRGGBB
    // pixels, of at most 256 colours (all of them in the global table, if
    // there is one).
    bool AddFrame(const uint32_t* pixels, uint16_t delayCs, std::string* error);
    // The trailer. The frames added so far make a valid GIF.
    bool Close(std::string* error);

private:
    struct Rect {
        uint32_t left, top, width, height;
    };
    Rect ChangedRect(const uint32_t* pixels) const;
    // The image block (descriptor, local table, LZW data) of the rectangle;
    // with minRun > 0, unchanged pixels in runs of at least minRun along a
    // row are transparent, and false means no index is free for that.
    bool EncodeImage(const uint32_t* pixels, const Rect& r, uint32_t minRun, std::vector<uint8_t>* block,
                     int* transparentIndex, std::string* error);
    bool Put(const void* bytes, size_t size);

    std::FILE* out_ = nullptr;
    uint32_t width_ = 0, height_ = 0;
    std::vector<uint32_t> global_;
    std::unordered_map<uint32_t, uint8_t> globalIndex_;
    int globalBits_ = 0;      // bits of the global table's size; 0 without one
    std::vector<uint32_t> shown_;  // what a viewer shows after the frames so far
    bool first_ = true;
    std::vector<uint8_t> scratch_[2];  // the best image block so far, and a candidate
};

}  // namespace yafa::tool
