#include "anim_corpus.h"

#include <algorithm>
#include <cstdlib>
#include <random>
#include <stdexcept>

#include "delta_encoder.h"
#include "format/big_endian.h"
#include "format/geometry.h"
#include "format/iff.h"
#include "planar_encoder.h"
#include "s404_packer.h"
#include "xpk_writer.h"
#include "yafa_writer.h"

namespace yafa::test {

std::vector<uint32_t> TestPalette(size_t count, uint32_t seed) {
    // The red byte runs through all 256 values, so the colours are distinct.
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < count; ++i)
        out.push_back(((i * 167 + seed) & 0xFF) << 16 | ((i * 29 + seed * 7) & 0xFF) << 8 | ((i * 83 + 5) & 0xFF));
    return out;
}

std::vector<encode::Frame> MakeFrames(const encode::WriterOptions& o, int count, uint32_t seed) {
    std::mt19937 rng(seed);
    const bool chunky = o.frameFormat >= 3;
    const uint32_t rowBytes = encode::PlaneRowBytes(o.width);
    const size_t reached = o.delta ? encode::MakeDeltaGeometry(o.width, o.height, 1, o.deltaUnit).ReachedRowBytes() : rowBytes;
    const int limit = 1 << std::min(o.depth, 8);
    std::vector<encode::Frame> frames(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        encode::Frame& f = frames[size_t(i)];
        for (int y = 0; y < o.height; ++y) {
            uint32_t held = 0;  // HAM: each pixel changes one component of the one before, or takes a base colour
            for (int x = 0; x < o.width; ++x) {
                const size_t n = size_t(y) * o.width + size_t(x);
                const bool reachable = chunky ? n % rowBytes < reached : size_t(x) < reached * 8;
                const bool block = std::abs(x - 5 * i - 3) < 3 && y > 1 && y < 6;
                int v = block ? (i * 7 + 1) % limit : (x / 4 + y) % limit;
                if (rng() % 5 == 0) v = int(rng() % uint32_t(limit));
                f.indices.push_back(reachable ? uint8_t(v) : 0);
                if (o.ham) {
                    const uint32_t part = (rng() % 16) << 4, shift = 8 * (rng() % 3);
                    held = rng() % 4 ? (held & ~(0xFFu << shift)) | part << shift : o.palette[rng() % 16];
                    f.rgb.push_back(held);
                } else {
                    f.rgb.push_back(block ? 0xFF8000u + uint32_t(i) : uint32_t(x * 6) << 16 | uint32_t(y * 20));
                }
            }
        }
        if (o.ham) f.indices = encode::EncodeHam(f.rgb, o.width, o.height, o.palette, o.depth);
        if (o.framePalette && !o.ham && i % 2) f.palette = TestPalette(size_t(1) << o.depth, uint32_t(i));
    }
    return frames;
}

}  // namespace yafa::test

namespace yafa::robust {
namespace {

using test::MakeFrames;

using encode::KeyFrameMode;
using encode::Storage;
using encode::WriterOptions;
using encode::XpkMethod;
using encode::XpkOptions;

// How one stored frame is packed again after the writer made it raw.
struct Restore {
    enum Kind { Raw, S404, Xpk } kind = Raw;
    XpkOptions xpk;
    bool stress = false;
};

Restore Xpk(XpkMethod method, uint32_t chunkSize, bool longHeaders = false, bool extra = false, bool mixRaw = false,
            bool stress = false) {
    Restore r{Restore::Xpk, {}, false};
    r.xpk.method = method, r.xpk.chunkSize = chunkSize, r.xpk.longHeaders = longHeaders, r.xpk.mixRawChunks = mixRaw;
    if (extra) r.xpk.extraHeader = Bytes{0x11, 0x22, 0x33};
    r.xpk.pack.stress = stress, r.xpk.pack.seed = chunkSize;
    return r;
}

Restore S404(bool stress) { return {Restore::S404, {}, stress}; }

struct Recipe {
    const char* name;
    WriterOptions options;
    int frames;
    std::vector<Restore> restore;  // per frame, cycled; empty keeps the writer's storage
};

Bytes StoreAgain(std::span<const uint8_t> raw, const Restore& r) {
    switch (r.kind) {
        case Restore::Raw: return {raw.begin(), raw.end()};
        case Restore::S404: return encode::PackS404(raw, encode::PackOptions{r.stress, 7});
        case Restore::Xpk: return encode::PackXpk(raw, r.xpk);
    }
    return {};
}

// Packs every frame of a raw-stored file again, each in its own way, and
// rewrites PROF and BODY to match.
Bytes Repack(const Bytes& file, const std::vector<Restore>& restore) {
    const FileLayout layout = LayoutOf(file);
    if (layout.frames.empty()) throw std::logic_error("repacking needs PROF");
    Bytes body;
    std::vector<uint32_t> ends;
    for (size_t i = 0; i < layout.frames.size(); ++i) {
        const auto [start, end] = layout.frames[i];
        const Bytes stored = StoreAgain(std::span(file).subspan(start, end - start), restore[i % restore.size()]);
        body.insert(body.end(), stored.begin(), stored.end());
        ends.push_back(static_cast<uint32_t>(body.size()));
    }
    // Chunks before BODY stay; PROF gets the new ends.
    Bytes out(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(layout.bodyStart - 8));
    for (size_t i = 0; i < ends.size(); ++i) StoreU32BE(out.data() + layout.profEntries + 4 * i, ends[i]);
    out.insert(out.end(), {'B', 'O', 'D', 'Y'});
    AppendU32BE(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() & 1) out.push_back(0);
    StoreU32BE(out.data() + 4, static_cast<uint32_t>(out.size() - 8));
    return out;
}

WriterOptions Options(uint16_t w, uint16_t h, int format, int depth) {
    WriterOptions o;
    o.width = w;
    o.height = h;
    o.frameFormat = format;
    o.depth = depth;
    o.pack.seed = 3;
    // A short DRGB keeps opening cheap; the entries it leaves out stay black.
    if (depth <= 8) o.palette = test::TestPalette(std::min(1u << depth, 16u));
    return o;
}

std::vector<Recipe> Recipes() {
    const std::vector<Restore> everyMethod = {Restore{}, S404(false), Xpk(XpkMethod::Fast, 64),
                                              Xpk(XpkMethod::Nuke, 64, true), Xpk(XpkMethod::Rake, 64, false, true)};
    // Options(w, h, format, depth) changed by `tweak`.
    auto make = [](const char* name, uint16_t w, uint16_t h, int format, int depth, int frames,
                   std::vector<Restore> restore, void (*tweak)(WriterOptions&)) {
        Recipe r{name, Options(w, h, format, depth), frames, std::move(restore)};
        tweak(r.options);
        return r;
    };
    return {
        // Raw, no PROF: frames lie frameSize apart.
        make("raw-planar0-noprof", 24, 6, 0, 4, 3, {}, [](WriterOptions& o) { o.writeProf = false, o.delays = {3, 0, 7}; }),
        make("raw-planar1-tails", 20, 5, 1, 3, 3, {}, [](WriterOptions& o) { o.framePalette = true, o.writeTtbl = false; }),
        make("s404-planar2-delta-twokeys", 32, 6, 2, 5, 5, {}, [](WriterOptions& o) { o.delta = true, o.storage = Storage::S404; }),
        make("fast-chunky3-delta-from1", 24, 8, 3, 8, 5, {Xpk(XpkMethod::Fast, 64, false, false, true, true)},
             [](WriterOptions& o) { o.delta = true, o.keyFrames = KeyFrameMode::From1; }),
        make("nuke-planar0-worddelta-from0", 40, 6, 0, 4, 5, {Xpk(XpkMethod::Nuke, 96, true, false, false, true)},
             [](WriterOptions& o) { o.delta = true, o.deltaUnit = 2, o.keyFrames = KeyFrameMode::From0; }),
        make("rake-planar1-longdelta-from01", 72, 5, 1, 2, 5, {Xpk(XpkMethod::Rake, 48, false, true, false, true)},
             [](WriterOptions& o) { o.delta = true, o.deltaUnit = 4, o.keyFrames = KeyFrameMode::From01; }),
        make("mixed-rgb24", 10, 4, 4, 24, 5, everyMethod, [](WriterOptions&) {}),
        make("s404-rgb15", 12, 5, 4, 15, 3, {}, [](WriterOptions& o) { o.storage = Storage::S404, o.pack.stress = true; }),
        make("fast-ham6-tails", 16, 4, 0, 6, 3, {Xpk(XpkMethod::Fast, 0x8000)},
             [](WriterOptions& o) { o.ham = true, o.framePalette = true; }),
        make("nuke-ham8", 16, 3, 1, 8, 3, {Xpk(XpkMethod::Nuke, 0x8000)}, [](WriterOptions& o) { o.ham = true; }),
        make("rake-chunky4-delta-tails", 20, 4, 4, 8, 4, {Xpk(XpkMethod::Rake, 0x8000, true, false, false, true)},
             [](WriterOptions& o) { o.delta = true, o.framePalette = true; }),
        make("mixed-planar0-delta-tails", 16, 4, 0, 1, 5, everyMethod,
             [](WriterOptions& o) { o.delta = true, o.framePalette = true, o.keyFrames = KeyFrameMode::From1; }),
        // Chunky without PROF.
        make("raw-chunky4-noprof", 8, 4, 4, 8, 3, {}, [](WriterOptions& o) { o.writeProf = false; }),
    };
}

}  // namespace

FileLayout LayoutOf(std::span<const uint8_t> file) {
    // The chunks before BODY as the plugin walks them; PROF's entries and
    // where they lie.
    struct Prof : ChunkVisitor {
        std::vector<uint32_t> ends;
        size_t at = 0;
        InfoFields info;
        uint32_t mostFrames = 0;
        Status OnInfo(const InfoFields& i) {
            info = i;
            mostFrames = std::max<uint32_t>(mostFrames, i.frameCount);
            return Status::Ok;
        }
        Status OnTable(uint32_t id, uint32_t count, ByteSource& from) {
            if (id != kProfId) return ChunkVisitor::OnTable(id, count, from);
            at = size_t(from.Position());
            ends.resize(count);
            for (uint32_t& end : ends) end = from.ReadU32BE();
            return Status::Ok;
        }
    } prof;
    MemorySource source(file);
    const Status walked = WalkYafaChunks(source, prof);
    FileLayout layout;
    layout.info = prof.info, layout.mostFrames = prof.mostFrames;
    if (walked != Status::Ok) return layout;
    layout.bodyStart = size_t(source.Position());
    layout.profEntries = prof.at;
    for (uint32_t i = 0; i < prof.ends.size(); ++i) {
        const FrameLocation place = LocateFrame(prof.ends.data(), 0, i);
        layout.frames.emplace_back(layout.bodyStart + place.start, layout.bodyStart + place.start + place.length);
    }
    return layout;
}

std::vector<CorpusAnim> RobustnessCorpus() {
    std::vector<CorpusAnim> corpus;
    uint32_t seed = 1;
    for (const Recipe& recipe : Recipes()) {
        const auto frames = MakeFrames(recipe.options, recipe.frames, seed++);
        Bytes file = encode::WriteYafa(frames, recipe.options);
        if (!recipe.restore.empty()) file = Repack(file, recipe.restore);
        const auto& o = recipe.options;
        corpus.push_back({recipe.name, std::move(file), o.width, o.height, static_cast<uint16_t>(recipe.frames),
                          o.depth <= 8 && !o.ham});
    }
    return corpus;
}

}  // namespace yafa::robust
