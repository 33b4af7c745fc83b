#include "yafa_writer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include "delta_encoder.h"
#include "iff_writer.h"
#include "planar_encoder.h"
#include "s404_packer.h"
#include "xpk_writer.h"

namespace yafa::encode {

namespace {

[[noreturn]] void Fail(const std::string& message) { throw std::invalid_argument(message); }

constexpr Storage kPackedMethods[] = {Storage::S404, Storage::XpkFast, Storage::XpkNuke, Storage::XpkRake};

bool IsChunky(const WriterOptions& o) { return o.frameFormat == 3 || o.frameFormat == 4; }

// Planes the back buffers hold: a chunky delta animation is addressed as 8.
int BufferPlanes(const WriterOptions& o) { return IsChunky(o) ? 8 : o.depth; }

int PaletteSize(const WriterOptions& o) {
    if (o.depth > 8) return 0;
    if (o.ham) return o.depth == 8 ? 64 : 16;
    return 1 << o.depth;
}

void ValidateOptions(const WriterOptions& o) {
    if (o.width == 0 || o.height == 0) Fail("width and height must be at least 1");
    if (o.frameFormat < 0 || o.frameFormat > 4) Fail("frame format must be 0..4");
    const bool chunky = IsChunky(o);
    if (!chunky && (o.depth < 1 || o.depth > 8)) Fail("planar frames have depth 1..8");
    if (chunky && !((o.depth >= 1 && o.depth <= 8) || o.depth == 15 || o.depth == 24))
        Fail("chunky frames have depth 1..8, 15 or 24");
    if (o.ham && o.depth != 6 && o.depth != 8) Fail("HAM needs depth 6 (HAM6) or 8 (HAM8)");
    if (o.framePalette && o.depth > 8) Fail("frame palettes need depth 8 or less");
    if (o.palette.size() > 256) Fail("the palette holds at most 256 colours");
    if (o.delta) {
        if (o.depth > 8)
            Fail("a chunky delta animation decodes as 8-bit pixels: give depth 8 or less and palette indices");
        if (chunky && o.ham && o.depth != 8) Fail("a chunky delta animation decodes at depth 8: HAM there needs depth 8");
        if (o.deltaUnit != 1 && o.deltaUnit != 2 && o.deltaUnit != 4) Fail("delta unit must be 1, 2 or 4");
    }
    if (!o.writeProf) {
        if (o.delta || (o.frameFormat != 0 && o.frameFormat != 4))
            Fail("only formats 0 and 4 without deltas can be written without PROF");
        if (o.storage != Storage::Raw) Fail("without PROF every frame is stored raw");
    }
    if (o.xpkChunkSize == 0) Fail("XPK chunk size must be at least 1");
}

void ValidateFrame(const Frame& f, size_t i, const WriterOptions& o) {
    if (i >= 65535) Fail("an animation holds at most 65535 frames");
    const size_t pixels = size_t{o.width} * o.height;
    const int maxValue = o.ham ? (o.depth == 6 ? 63 : 255) : (o.depth >= 8 ? 255 : (1 << o.depth) - 1);
    const std::string which = "frame " + std::to_string(i) + ": ";
    if (o.depth > 8) {
        if (f.rgb.size() != pixels) Fail(which + "needs width x height true-colour pixels");
    } else {
        if (f.indices.size() != pixels) Fail(which + "needs width x height pixel values");
        for (size_t n = 0; n < pixels; ++n)
            if (f.indices[n] > maxValue)
                Fail(which + "pixel value " + std::to_string(f.indices[n]) + " at (" + std::to_string(n % o.width) +
                     ", " + std::to_string(n / o.width) + ") does not fit depth " + std::to_string(o.depth));
    }
    const size_t paletteSize = static_cast<size_t>(PaletteSize(o));
    if (o.framePalette && f.palette.size() > paletteSize)
        Fail(which + "palette has " + std::to_string(f.palette.size()) + " colours, the tail holds " +
             std::to_string(paletteSize));
}

void PutComponent(std::vector<uint8_t>& out, uint32_t component) { PutU32BE(out, (component & 255) * 0x01010101u); }

void PutColour(std::vector<uint8_t>& out, uint32_t rgb) {
    PutComponent(out, rgb >> 16);
    PutComponent(out, rgb >> 8);
    PutComponent(out, rgb);
}

// Colour count and first colour, the colours, and a closing 0 word.
void AppendPaletteTail(std::vector<uint8_t>& out, const std::vector<uint32_t>& colours, int paletteSize) {
    PutU32BE(out, static_cast<uint32_t>(paletteSize) << 16);
    for (size_t k = 0; k < static_cast<size_t>(paletteSize); ++k) PutColour(out, k < colours.size() ? colours[k] : 0);
    PutU32BE(out, 0);
}

// A frame's pixels as stored whole; for delta animations the back-buffer
// image, padded to the buffer size.
std::vector<uint8_t> FrameImage(const Frame& f, const WriterOptions& o, size_t bufferBytes) {
    if (!IsChunky(o)) return ToPlanar(f.indices, o.width, o.height, o.depth);
    if (o.depth == 15) return PackRgb15(f.rgb);
    if (o.depth == 24) return PackRgb24(f.rgb);
    std::vector<uint8_t> image = f.indices;
    if (o.delta) image.resize(bufferBytes, 0);
    return image;
}

bool StorableRaw(std::span<const uint8_t> unpacked) {
    if (unpacked.size() < 4) return false;  // the tag alone is 4 bytes
    return std::memcmp(unpacked.data(), "S404", 4) != 0 && std::memcmp(unpacked.data(), "XPKF", 4) != 0;
}

std::vector<uint8_t> Pack(std::span<const uint8_t> unpacked, Storage method, const WriterOptions& o) {
    XpkOptions xpk;
    xpk.pack = o.pack;
    xpk.chunkSize = o.xpkChunkSize;
    switch (method) {
        case Storage::Raw: return {unpacked.begin(), unpacked.end()};
        case Storage::S404: return PackS404(unpacked, o.pack);
        case Storage::XpkFast: xpk.method = XpkMethod::Fast; break;
        case Storage::XpkNuke: xpk.method = XpkMethod::Nuke; break;
        case Storage::XpkRake: xpk.method = XpkMethod::Rake; break;
        case Storage::Auto: throw std::logic_error("Auto is not a method");
    }
    return PackXpk(unpacked, xpk);
}

// Packs with each method in turn and keeps the smallest (the earliest on ties).
std::vector<uint8_t> StoreSmallest(std::span<const uint8_t> unpacked, std::span<const Storage> methods,
                                   const WriterOptions& o, FrameStats& stats) {
    std::vector<uint8_t> best;
    bool have = false;
    for (Storage method : methods) {
        const auto start = std::chrono::steady_clock::now();
        std::vector<uint8_t> stored = Pack(unpacked, method, o);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        stats.trials.push_back({method, stored.size(), took.count()});
        if (!have || stored.size() < best.size()) {
            best = std::move(stored);
            stats.stored = method;
            have = true;
        }
    }
    stats.storedSize = best.size();
    return best;
}

// A raw frame that starts with a packer's tag, or is shorter than the tag,
// would be misread; such frames are stored packed whatever was asked.
std::vector<uint8_t> StoreFrame(std::span<const uint8_t> unpacked, const WriterOptions& o, size_t fixedSize,
                                size_t index, FrameStats& stats) {
    const bool raw = StorableRaw(unpacked);
    if (fixedSize != 0) {
        // Without PROF every frame fills exactly fixedSize bytes. An XPK
        // stream ignores bytes after its end chunk, so a packed frame is padded.
        if (raw) return StoreSmallest(unpacked, std::span<const Storage>(&o.storage, 1), o, stats);
        static constexpr Storage kXpk[] = {Storage::XpkFast, Storage::XpkNuke, Storage::XpkRake};
        std::vector<uint8_t> stored = StoreSmallest(unpacked, kXpk, o, stats);
        if (stored.size() > fixedSize)
            Fail("frame " + std::to_string(index) +
                 " starts with a packer's tag and does not pack into its own size; write PROF to store it");
        stored.resize(fixedSize, 0);
        stats.storedSize = stored.size();
        return stored;
    }
    if (o.storage == Storage::Auto) {
        static constexpr Storage kAll[] = {Storage::Raw, Storage::S404, Storage::XpkFast, Storage::XpkNuke,
                                           Storage::XpkRake};
        return StoreSmallest(unpacked, raw ? std::span<const Storage>(kAll) : std::span<const Storage>(kAll).subspan(1),
                             o, stats);
    }
    if (o.storage == Storage::Raw && !raw) return StoreSmallest(unpacked, kPackedMethods, o, stats);
    return StoreSmallest(unpacked, std::span<const Storage>(&o.storage, 1), o, stats);
}

std::string DescribeUnreachable(size_t at, const WriterOptions& o, const DeltaGeometry& g) {
    const size_t rowByte = at % g.planeRowBytes;
    if (!IsChunky(o)) {
        const size_t row = (at % g.PlaneBytes()) / g.planeRowBytes;
        return "pixels " + std::to_string(rowByte * 8) + ".." +
               std::to_string(std::min<size_t>(rowByte * 8 + 7, o.width - 1u)) + " of row " + std::to_string(row);
    }
    if (at < size_t{o.width} * o.height)
        return "pixel (" + std::to_string(at % o.width) + ", " + std::to_string(at / o.width) + ")";
    return "back-buffer byte " + std::to_string(at);
}

}  // namespace

const char* StorageName(Storage storage) {
    switch (storage) {
        case Storage::Raw: return "raw";
        case Storage::S404: return "s404";
        case Storage::XpkFast: return "fast";
        case Storage::XpkNuke: return "nuke";
        case Storage::XpkRake: return "rake";
        case Storage::Auto: return "auto";
    }
    return "?";
}

std::optional<Storage> ParseStorage(std::string_view name) {
    for (Storage s : {Storage::Raw, Storage::S404, Storage::XpkFast, Storage::XpkNuke, Storage::XpkRake, Storage::Auto})
        if (name == StorageName(s)) return s;
    return std::nullopt;
}

size_t PaletteTailSize(const WriterOptions& options) {
    if (!options.framePalette || options.depth > 8) return 0;
    return static_cast<size_t>(PaletteSize(options)) * 12 + 8;
}

// Frames of a delta animation are encoded against what the decoder's two
// back buffers hold: frames before the first delta are stored whole, every
// later frame i is a delta against frame i - 2 (or a cleared buffer at the
// start, as the key-frame mode says).
struct YafaWriter::State {
    WriterOptions o;
    WriteStats stats;
    DeltaGeometry geometry;
    size_t fixedSize = 0;  // every stored frame's size without PROF; 0 with PROF
    int paletteSize = 0;
    size_t firstDelta = 0;
    bool from0 = false, from1 = false;
    std::vector<uint8_t> held[2];  // empty: a cleared buffer
    int current = 0;
    std::vector<uint8_t> cleared;
    std::vector<uint32_t> colours;  // the palette in force
    std::vector<uint8_t> body;
    std::vector<uint32_t> ends;
    size_t count = 0;
};

YafaWriter::YafaWriter(const WriterOptions& o) : state_(std::make_unique<State>()) {
    ValidateOptions(o);
    State& st = *state_;
    st.o = o;
    uint16_t flags = 0;
    if (o.ham) flags |= YAFA_HAM;
    if (o.framePalette) flags |= YAFA_FRAMEPALETTE;
    if (o.delta) {
        st.geometry = MakeDeltaGeometry(o.width, o.height, BufferPlanes(o), o.deltaUnit);
        st.from0 = o.keyFrames == KeyFrameMode::From0 || o.keyFrames == KeyFrameMode::From01;
        st.from1 = o.keyFrames == KeyFrameMode::From1 || o.keyFrames == KeyFrameMode::From01;
        st.firstDelta = st.from0 ? 0 : (st.from1 ? 1 : 2);
        flags |= YAFA_DELTA;
        if (o.deltaUnit == 2) flags |= YAFA_WORDDELTA;
        if (o.deltaUnit == 4) flags |= YAFA_LONGDELTA;
        if (st.from1) flags |= YAFA_DELTAFROM1;
        if (st.from0) flags |= YAFA_DELTAFROM0;
        st.stats.deltaUnit = o.deltaUnit;
    }
    st.stats.flags = flags;
    st.paletteSize = PaletteSize(o);
    if (!o.writeProf) {
        // Frames without PROF lie fixedSize bytes apart.
        const size_t pixels = size_t{o.width} * o.height;
        st.fixedSize = o.frameFormat == 0 ? size_t{PlaneRowBytes(o.width)} * o.height * static_cast<size_t>(o.depth)
                                          : pixels * (o.depth == 15 ? 2 : o.depth == 24 ? 3 : 1);
        st.fixedSize += PaletteTailSize(o);
    }
    st.colours = o.palette;
}

YafaWriter::~YafaWriter() = default;

void YafaWriter::Add(const Frame& frame) {
    State& st = *state_;
    const WriterOptions& o = st.o;
    const size_t i = st.count;
    ValidateFrame(frame, i, o);
    FrameStats frameStats;
    std::vector<uint8_t> unpacked;
    if (!o.delta) {
        unpacked = FrameImage(frame, o, 0);
    } else {
        std::vector<uint8_t> image = FrameImage(frame, o, st.geometry.BufferBytes());
        const bool delta = i >= st.firstDelta;
        if (delta) {
            std::vector<uint8_t>& base = st.held[st.current];
            if (base.empty() && st.cleared.empty()) st.cleared.assign(st.geometry.BufferBytes(), 0);
            const std::vector<uint8_t>& from = base.empty() ? st.cleared : base;
            // The columns of a word or long delta may stop short of the row's
            // end; bytes past them keep what the key frames (or the cleared
            // buffer) put there, so no delta frame may change them.
            if (auto at = FindUnreachableChange(from, image, st.geometry))
                throw DeltaUnitTooWide("frame " + std::to_string(i) + " changes " +
                                           DescribeUnreachable(*at, o, st.geometry) + ", which " +
                                           std::to_string(o.deltaUnit) + "-byte delta columns do not reach at width " +
                                           std::to_string(o.width) + " (they cover the first " +
                                           std::to_string(st.geometry.ReachedRowBytes() * 8) +
                                           " pixels of a plane row); use a narrower delta unit or keep those pixels "
                                           "unchanged",
                                       o.deltaUnit);
            unpacked = EncodeDelta(from, image, st.geometry);
            frameStats.delta = true;
        } else {
            unpacked = image;
        }
        if (delta) st.held[st.current] = image;
        if (i == 0 && st.from0 && st.from1) st.held[1] = st.held[0];
        if (i == 0 && !st.from0 && st.from1) st.held[0] = st.held[1] = image;
        if (i < 2 && !st.from0 && !st.from1) st.held[i] = std::move(image);
        if (delta) st.current = 1 - st.current;
    }
    if (!frame.palette.empty()) st.colours = frame.palette;
    if (o.framePalette) AppendPaletteTail(unpacked, st.colours, st.paletteSize);
    frameStats.unpackedSize = unpacked.size();
    std::vector<uint8_t> stored = StoreFrame(unpacked, o, st.fixedSize, i, frameStats);
    PutBytes(st.body, stored);
    if (st.body.size() > std::numeric_limits<uint32_t>::max()) Fail("the frames take more than 4 GiB");
    st.ends.push_back(static_cast<uint32_t>(st.body.size()));
    st.stats.frames.push_back(std::move(frameStats));
    ++st.count;
    if (o.onFrameStored) o.onFrameStored(st.count);
}

std::vector<uint8_t> YafaWriter::Finish(WriteStats* statsOut) {
    State& st = *state_;
    const WriterOptions& o = st.o;
    if (st.count == 0) Fail("an animation needs at least one frame");
    if (!o.delays.empty() && o.delays.size() != st.count) Fail("give one delay per frame, or none");
    IffWriter iff("YAFA");
    iff.BeginChunk("INFO");
    for (uint32_t word : {uint32_t{o.width}, uint32_t{o.height}, static_cast<uint32_t>(o.depth),
                          uint32_t{o.defaultDelay}, static_cast<uint32_t>(st.count),
                          static_cast<uint32_t>(o.frameFormat), uint32_t{st.stats.flags}})
        PutU16BE(iff.data(), word);
    iff.EndChunk();
    if (o.writeProf) {
        iff.BeginChunk("PROF");
        for (uint32_t end : st.ends) PutU32BE(iff.data(), end);
        iff.EndChunk();
    }
    if (!o.palette.empty()) {
        iff.BeginChunk("DRGB");
        PutU16BE(iff.data(), static_cast<uint32_t>(o.palette.size()));
        PutU16BE(iff.data(), 0);
        for (uint32_t c : o.palette) PutColour(iff.data(), c);
        iff.EndChunk();
    }
    if (o.writeTtbl) {
        iff.BeginChunk("TTBL");
        for (size_t i = 0; i < st.count; ++i) PutU16BE(iff.data(), o.delays.empty() ? o.defaultDelay : o.delays[i]);
        iff.EndChunk();
    }
    iff.Chunk("BODY", st.body);
    std::vector<uint8_t> file = iff.Finish();
    st.stats.fileSize = file.size();
    if (statsOut) *statsOut = std::move(st.stats);
    return file;
}

std::vector<uint8_t> WriteYafa(const std::vector<Frame>& frames, const WriterOptions& o, WriteStats* stats) {
    if (frames.empty()) Fail("an animation needs at least one frame");
    if (!o.delays.empty() && o.delays.size() != frames.size()) Fail("give one delay per frame, or none");
    WriterOptions w = o;
    for (;;) {
        try {
            YafaWriter writer(w);
            for (const Frame& f : frames) writer.Add(f);
            return writer.Finish(stats);
        } catch (const DeltaUnitTooWide& e) {
            if (!o.narrowDeltaUnit || e.unit == 1) throw;
            w.deltaUnit = e.unit / 2;
        }
    }
}

}  // namespace yafa::encode
