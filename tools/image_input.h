// The pictures that yafa pack turns into an animation: PNG files in the order
// given, folders of PNG files sorted by name, or one animated GIF whose
// frames are composed as a viewer shows them. Every frame comes out as the
// full picture in 0x00RRGGBB pixels.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace yafa::tool {

// The largest frame side and frame count a YAFA file can describe.
constexpr uint32_t kMaxFrameSide = 65535;
constexpr size_t kMaxFrameCount = 65535;

struct InputFrame {
    std::vector<uint32_t> rgb;  // width × height, top row first
    // From a palette PNG: its indices and palette as the file has them.
    std::vector<uint8_t> indices;
    std::vector<uint32_t> palette;
    int32_t delayCs = -1;  // a GIF frame's delay in 1/100 s; -1 for PNG files
    std::string source;    // the file, and for a GIF the frame, for messages
};

struct InputAnimation {
    uint32_t width = 0, height = 0;
    std::vector<InputFrame> frames;
};

// Why reading failed: `subject` names the file (or the input as given),
// `message` says what is wrong with it.
struct InputError {
    std::string subject;
    std::string message;
};

// The files the inputs stand for, in frame order: a folder expands to its
// *.png files sorted by name; a GIF must be the only input.
bool ListInputFiles(const std::vector<std::string>& inputs, std::vector<std::string>* files, bool* gif,
                    InputError* error);

// One PNG of any colour type and bit depth, 16-bit samples rounded to 8 bits.
// Partly transparent pixels are laid over black (palette entries too).
bool ReadPng(const std::string& path, uint32_t* width, uint32_t* height, InputFrame* frame, std::string* error);

// Every frame of a GIF, each the picture after its disposal and transparency
// have been applied to what the frames before left. The canvas starts as the
// screen's background colour (black without a global colour table).
bool ReadGif(const std::string& path, InputAnimation* out, std::string* error);

// All the inputs; `step` is called after each PNG file read (with the count
// so far and the total).
bool ReadInputs(const std::vector<std::string>& inputs, InputAnimation* out, InputError* error,
                const std::function<void(size_t done, size_t total)>& step = {});

}  // namespace yafa::tool
