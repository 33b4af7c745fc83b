// The pictures that yafa pack turns into an animation: PNG files in the order
// given, folders of PNG files sorted by name, or one animated GIF whose
// frames are composed as a viewer shows them. Frames come one at a time, as
// the full picture in 0x00RRGGBB pixels, and reading can start over, so that
// pack holds one frame at a time however long the animation.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "file_io.h"

namespace yafa::tool {

// The largest frame side and frame count a YAFA file can describe.
constexpr uint32_t kMaxFrameSide = 65535;
constexpr size_t kMaxFrameCount = 65535;

struct InputFrame {
    std::vector<uint32_t> rgb;  // width × height, top row first
    // From a palette PNG: its indices and palette as the file has them.
    std::vector<uint8_t> indices;
    std::vector<uint32_t> palette;
    int32_t delayCs = -1;       // a GIF frame's delay in 1/100 s; -1 for PNG files
    std::string source;         // the file, and for a GIF the frame, for messages
    bool translucent = false;   // partly transparent pixels were laid over black
    bool deepSamples = false;   // 16-bit samples were rounded to 8 bits
};

// Why reading failed: `subject` names the file (or the input as given),
// `message` says what is wrong with it.
struct InputError {
    std::string subject;
    std::string message;
};

class FrameSource {
public:
    // Lists the files the inputs stand for (a folder: its *.png files sorted
    // by name; a GIF must be the only input) and tells them apart by their
    // contents; no picture is decoded yet. Pictures of more than maxPixels
    // pixels (0: no limit) will be refused before their pixels are allocated.
    static std::unique_ptr<FrameSource> Open(const std::vector<const Input*>& inputs, uint64_t maxPixels,
                                             InputError* error);
    virtual ~FrameSource() = default;

    // The next frame: true; false at the end (error->message empty) or on a
    // failure. Every frame has the size of the first.
    virtual bool Next(InputFrame* frame, InputError* error) = 0;
    // Back to the first frame.
    virtual bool Rewind(InputError* error) = 0;
    // Frames read so far since the start, and the total when known (PNG files).
    virtual size_t knownCount() const = 0;
    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }

protected:
    uint32_t width_ = 0, height_ = 0;
};

// One PNG of any colour type and bit depth, 16-bit samples rounded to 8 bits.
// Partly transparent pixels are laid over black (palette entries too).
// Refused before its pixels are allocated: more than maxPixels pixels, or a
// declared size that the file's bytes cannot hold.
bool ReadPng(const std::string& path, uint64_t maxPixels, uint32_t* width, uint32_t* height, InputFrame* frame,
             std::string* error);

}  // namespace yafa::tool
