// A fixed set of small, valid YAFA animations that together reach every
// storage method (raw, S404, XPK with FAST, NUKE and RAKE, mixed within one
// file), every delta unit and key-frame mode, palette tails, every frame
// format and the chunky, RGB15, RGB24, HAM6 and HAM8 pixel paths. The
// robustness tests and the fuzzers' seed corpora are made from it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "format/geometry.h"
#include "yafa_writer.h"

namespace yafa::test {

// A palette of distinct colours.
std::vector<uint32_t> TestPalette(size_t count, uint32_t seed = 1);

// `count` frames for the writer: a block moving over a pattern, with some
// noise. Delta animations change only the pixels that their columns reach
// (the others stay 0). HAM frames hold an image their HAM values show
// exactly (in `rgb`), true-colour frames a gradient. With framePalette every
// other frame brings its own palette.
std::vector<encode::Frame> MakeFrames(const encode::WriterOptions& o, int count, uint32_t seed);

}  // namespace yafa::test

namespace yafa::robust {

using Bytes = std::vector<uint8_t>;

struct CorpusAnim {
    std::string name;
    Bytes file;
    uint16_t width = 0;
    uint16_t height = 0;
    uint16_t frameCount = 0;
    bool indexedOk = false;  // 8-bit output is defined (depth 8 or less, no HAM)
};

// The animations, built the same way on every call.
std::vector<CorpusAnim> RobustnessCorpus();

// Where the pieces of a YAFA file lie: the end of the BODY header, PROF's
// entries, and each stored frame's [start, end) in the file. Empty `frames`
// when the file has no PROF before BODY (frames then lie frameSize apart).
// Also the last INFO before BODY and the largest frame count any INFO gave
// (tables of that size may have been read), as the plugin's chunk walk
// leaves them, even when the walk fails.
struct FileLayout {
    InfoFields info;
    uint32_t mostFrames = 0;
    size_t bodyStart = 0;
    size_t profEntries = 0;
    std::vector<std::pair<size_t, size_t>> frames;
};
FileLayout LayoutOf(std::span<const uint8_t> file);

}  // namespace yafa::robust
