// Turning a decoded frame into at most 256 colours for a GIF.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace yafa::tool {

struct PalettedImage {
    std::vector<uint8_t> indices;   // width × height
    std::vector<uint32_t> colours;  // 0x00RRGGBB, 1 to 256 entries
    bool quantised = false;         // true when colours were approximated
};

// A frame that came as indices: keeps them and the colours the indices can
// reach (entries up to the largest index used, at least 2^depth when depth
// is 1 to 8). A null palette means every colour is black.
PalettedImage FromIndexed(const uint8_t* indices, uint64_t pixelCount, const uint32_t* palette256, int32_t depth);

// A 32-bit frame: exact when it has at most 256 distinct colours, else
// quantised with libimagequant (dithered). False with a reason when the
// quantiser fails.
bool FromTrueColour(const uint32_t* pixels, uint32_t width, uint32_t height, PalettedImage* out, std::string* error);

}  // namespace yafa::tool
