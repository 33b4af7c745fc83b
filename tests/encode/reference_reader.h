// An independent reading of written YAFA files for the writer tests: the
// chunk structure, and a plain decoder of raw-stored frames to pixel values
// that follows the decoder's back-buffer rules.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace yafa::test {

using Bytes = std::vector<uint8_t>;

struct ParsedYafa {
    uint16_t width = 0, height = 0, depth = 0, defaultDelay = 0, frameCount = 0, frameFormat = 0, flags = 0;
    std::vector<std::string> chunks;  // ids in file order
    std::vector<uint32_t> prof;
    std::vector<uint32_t> drgb;       // 0x00RRGGBB
    std::vector<uint16_t> ttbl;
    std::vector<Bytes> frames;        // stored frames, split by PROF or by the fixed frame size
};

// Throws std::runtime_error on any structural fault: FORM or chunk sizes that
// do not add up, a missing pad byte, INFO not first, tables that do not hold
// one entry per frame, PROF ends that do not match BODY.
ParsedYafa ParseYafa(std::span<const uint8_t> file);

struct DecodedFrame {
    Bytes pixels;                    // 1 byte per pixel, or 2 / 3 for chunky depth 15 / 24
    std::vector<uint32_t> palette;   // 256 entries after the frame
};

// Decodes every frame in order; frames must be stored raw.
std::vector<DecodedFrame> DecodeRaw(const ParsedYafa& file);

// Applies one plane set of delta ops to `buffer` (planes of height rows of
// rowBytes), as the decoder does.
void ApplyDelta(std::span<const uint8_t> frame, std::span<uint8_t> buffer, int planes, int height, int rowBytes,
                int unit, int unitsPerRow);

}  // namespace yafa::test
