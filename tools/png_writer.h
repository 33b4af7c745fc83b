// PNG files of decoded frames, 8 bits per sample.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace yafa::tool {

// An RGB PNG from width × height pixels 0x00RRGGBB. False with a reason on failure.
bool WriteRgbPng(std::FILE* out, uint32_t width, uint32_t height, const uint32_t* pixels, std::string* error);

// A palette PNG (bit depth 8) from width × height indices and a 256-entry
// palette of 0x00RRGGBB colours (null: all black). PLTE holds the first
// paletteSize entries, more when an index above them is used.
bool WriteIndexedPng(std::FILE* out, uint32_t width, uint32_t height, const uint8_t* indices,
                     const uint32_t* palette, uint32_t paletteSize, std::string* error);

// The same into a file of that name.
bool WriteRgbPng(const std::string& path, uint32_t width, uint32_t height, const uint32_t* pixels, std::string* error);
bool WriteIndexedPng(const std::string& path, uint32_t width, uint32_t height, const uint8_t* indices,
                     const uint32_t* palette, uint32_t paletteSize, std::string* error);

}  // namespace yafa::tool
