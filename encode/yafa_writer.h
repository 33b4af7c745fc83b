// Writer of YAFA animation files: INFO, PROF, DRGB, TTBL and BODY, frames
// whole or as byte-run deltas, each stored raw or packed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "pack_options.h"
#include "yafa/info_flags.h"

namespace yafa::encode {

// Which frames of a delta animation are stored whole, and what the first
// deltas apply to. Every later frame i is a delta against frame i - 2.
enum class KeyFrameMode {
    TwoKeys,  // frames 0 and 1 whole
    From1,    // frame 0 whole (in both back buffers), deltas from frame 1
    From0,    // frames 0 and 1 are deltas against a cleared buffer
    From01,   // frame 0 a delta against a cleared buffer, frame 1 a delta against frame 0
};

enum class Storage { Raw, S404, XpkFast, XpkNuke, XpkRake, Auto };

const char* StorageName(Storage storage);  // "raw", "s404", "fast", "nuke", "rake", "auto"
std::optional<Storage> ParseStorage(std::string_view name);

// One frame's pixels, width x height, top row first.
struct Frame {
    // Depth 8 or less: a palette index or HAM value per pixel.
    std::vector<uint8_t> indices;
    // Depth 15 or 24: 0x00RRGGBB per pixel.
    std::vector<uint32_t> rgb;
    // With framePalette: the colours of this frame's palette tail (missing
    // entries are black). Empty: the colours of the frame before, or the
    // global palette for the first frame.
    std::vector<uint32_t> palette;
};

struct WriterOptions {
    uint16_t width = 0;
    uint16_t height = 0;
    // 0..2: bitplanes (depth 1..8); 3, 4: chunky, one byte per pixel at depth
    // 8 or less, RGB15 at depth 15, RGB24 at depth 24.
    int frameFormat = 0;
    int depth = 8;
    bool ham = false;                // HAM6 at depth 6, HAM8 at depth 8; frames hold HAM values
    std::vector<uint32_t> palette;   // the DRGB chunk (0x00RRGGBB); none when empty
    bool framePalette = false;       // every frame ends with a palette tail
    bool delta = false;
    int deltaUnit = 1;               // bytes per delta column: 1, 2 or 4
    // When a frame changes pixels that the columns of deltaUnit cannot reach
    // (widths not a multiple of 16 or 32): fall back to the widest unit that
    // reaches them, instead of refusing.
    bool narrowDeltaUnit = false;
    KeyFrameMode keyFrames = KeyFrameMode::TwoKeys;
    Storage storage = Storage::Raw;
    PackOptions pack;
    uint32_t xpkChunkSize = 0x8000;
    // PROF may be left out only for formats 0 and 4 without deltas, whose
    // frames are then all stored at the same size.
    bool writeProf = true;
    bool writeTtbl = true;
    uint16_t defaultDelay = 5;        // ticks of 1/50 s, in INFO
    std::vector<uint16_t> delays;     // TTBL, one per frame (0 repeats the previous); empty: defaultDelay each
    // Called after each frame is stored, with the number of frames stored so
    // far (for a progress display).
    std::function<void(size_t framesStored)> onFrameStored;
};

struct MethodTrial {
    Storage method = Storage::Raw;
    size_t size = 0;       // stored bytes, tag included
    double seconds = 0.0;  // time taken to pack
};

struct FrameStats {
    bool delta = false;       // stored as a delta
    size_t unpackedSize = 0;  // bytes after unpacking, palette tail included
    Storage stored = Storage::Raw;
    size_t storedSize = 0;
    std::vector<MethodTrial> trials;  // every method tried for this frame
};

struct WriteStats {
    int deltaUnit = 0;  // as written; 0 without deltas
    uint16_t flags = 0;
    size_t fileSize = 0;
    std::vector<FrameStats> frames;
};

// Thrown by YafaWriter::Add when the frame changes pixels that delta
// columns of the unit in use cannot reach (see WriterOptions.deltaUnit).
struct DeltaUnitTooWide : std::invalid_argument {
    DeltaUnitTooWide(const std::string& message, int tooWide) : std::invalid_argument(message), unit(tooWide) {}
    int unit;
};

// A file written frame by frame: the writer keeps what the decoder's back
// buffers would hold (for deltas) and the stored frames, never all pictures.
// Throws std::invalid_argument, with a message that names the problem, when
// the options or a frame cannot make a valid file.
class YafaWriter {
public:
    explicit YafaWriter(const WriterOptions& options);  // options.narrowDeltaUnit does not apply
    ~YafaWriter();
    YafaWriter(const YafaWriter&) = delete;
    YafaWriter& operator=(const YafaWriter&) = delete;

    // The next frame; DeltaUnitTooWide when a narrower delta unit is needed.
    void Add(const Frame& frame);
    // The whole file; options.delays must have one entry per frame, or none.
    std::vector<uint8_t> Finish(WriteStats* stats = nullptr);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The whole file at once; with options.narrowDeltaUnit, the widest unit that
// reaches every change. Throws as YafaWriter does.
std::vector<uint8_t> WriteYafa(const std::vector<Frame>& frames, const WriterOptions& options,
                               WriteStats* stats = nullptr);

// Bytes of a palette tail for the options' depth (0 when frame palettes do
// not apply).
size_t PaletteTailSize(const WriterOptions& options);

}  // namespace yafa::encode
