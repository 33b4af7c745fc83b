#include "bench_data.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>

#include "format/geometry.h"
#include "format/iff.h"
#include "io/host_services.h"
#include "unpack/s404.h"
#include "unpack/xpk.h"

namespace yafa::bench {

namespace {

constexpr size_t kSyntheticBytes = size_t{1} << 20;

bool HasId(const Bytes& file, size_t pos, const char* id) {
    return pos + 4 <= file.size() && std::memcmp(file.data() + pos, id, 4) == 0;
}

// --- Examples drawn here when none are bundled ------------------------------

}  // namespace

// 32 colours in 5 bitplanes, word deltas: a shaded ball crossing a dithered
// sky over a checkered floor.
Bytes DrawBall(uint16_t width, uint16_t height, int frameCount, encode::Storage storage) {
    encode::WriterOptions o;
    o.width = width, o.height = height, o.frameFormat = 0, o.depth = 5;
    for (uint32_t i = 0; i < 32; ++i) o.palette.push_back((i * 8) << 16 | (i * 5) << 8 | (255 - i * 6));
    o.delta = true, o.deltaUnit = 2, o.storage = storage;
    std::vector<encode::Frame> frames(static_cast<size_t>(frameCount));
    for (int t = 0; t < frameCount; ++t) {
        auto& px = frames[size_t(t)].indices;
        px.resize(size_t{o.width} * o.height);
        const int cx = 40 + t * 10 % (width - 80), cy = 60 + (t % 6) * 12, r = 26;
        for (int y = 0; y < o.height; ++y)
            for (int x = 0; x < o.width; ++x) {
                uint8_t c = y < 110 ? uint8_t((y * 4 + ((x ^ y) & 3) * 7) / 110)
                                    : uint8_t(4 + (((x / 20) ^ (y / 12)) & 1));
                const int dx = x - cx, dy = y - cy, d = dx * dx + dy * dy;
                if (d <= r * r) c = uint8_t(16 + 15 - std::min(15, d * 16 / (r * r)));
                px[size_t(y) * o.width + size_t(x)] = c;
            }
    }
    return encode::WriteYafa(frames, o);
}

namespace {

// 160x120 RGB24: colour bands sliding sideways.
Bytes DrawBands() {
    encode::WriterOptions o;
    o.width = 160, o.height = 120, o.frameFormat = 4, o.depth = 24;
    std::vector<encode::Frame> frames(12);
    for (int t = 0; t < 12; ++t) {
        auto& rgb = frames[size_t(t)].rgb;
        for (int y = 0; y < o.height; ++y)
            for (int x = 0; x < o.width; ++x) {
                const uint32_t band = uint32_t((x + t * 4) / 16);
                rgb.push_back((band * 37 & 255) << 16 | uint32_t(y * 2) << 8 | (band * 91 & 255));
            }
    }
    return encode::WriteYafa(frames, o);
}

std::vector<Example> LoadExamples() {
    std::vector<Example> out;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(YAFA_EXAMPLES_DIR, error)) {
        if (entry.path().extension() != ".yafa") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        out.push_back({entry.path().stem().string(), std::move(bytes)});
    }
    std::sort(out.begin(), out.end(), [](const Example& a, const Example& b) { return a.name < b.name; });
    if (out.empty()) {
        std::fprintf(stderr, "yafa-bench: no examples in %s; drawing stand-ins\n", YAFA_EXAMPLES_DIR);
        out.push_back({"drawn_ball", DrawBall(320, 200, 24, encode::Storage::Raw)});
        out.push_back({"drawn_bands", DrawBands()});
    }
    return out;
}

// --- The data sets ---------------------------------------------------------

// Every frame of one example, unpacked by the decoder's own unpackers and
// put one after another. Empty when the file has no PROF table or a frame
// does not unpack.
Bytes UnpackedFrames(const Example& example) {
    const Bytes& f = example.file;
    // The chunks before BODY, walked as the parser walks them.
    struct Tables : ChunkVisitor {
        std::vector<uint32_t> ends;
        Status OnTable(uint32_t id, uint32_t count, ByteSource& source) {
            if (id != kProfId) return ChunkVisitor::OnTable(id, count, source);
            ends.resize(count);
            for (uint32_t& end : ends) end = source.ReadU32BE();
            return Status::Ok;
        }
    } tables;
    MemorySource walk(f);
    if (WalkYafaChunks(walk, tables) != Status::Ok || tables.ends.empty()) return {};
    const auto bodyStart = static_cast<size_t>(walk.Position());
    const std::vector<uint32_t>& ends = tables.ends;

    const std::string name = "bench/examples/" + example.name + ".yafa";
    BenchHost().addMemoryFile(name, f);
    HostFile file = HostOpen(name.c_str(), 0, 0, 0);
    if (!file) return {};
    Bytes out;
    bool ok = true;
    for (uint32_t i = 0; i < ends.size() && ok; ++i) {
        const FrameLocation place = LocateFrame(ends.data(), 0, i);
        const size_t at = bodyStart + place.start;
        if (!place.lengthKnown || place.length < 4 || at + place.length > f.size()) {
            ok = false;
            break;
        }
        UnpackedFrame frame;
        HostSeek(file, int32_t(at + 4), HOST_SEEK_START);
        HostFileSource source(file);
        uint8_t tag[4];
        if (HasId(f, at, "XPKF")) {
            ok = UnpackXpk(source, UINT32_MAX, frame, tag) == Status::Ok;
        } else if (HasId(f, at, "S404")) {
            ok = UnpackS404(source, place.length, UINT32_MAX, frame) == Status::Ok;
        } else {
            out.insert(out.end(), f.begin() + ptrdiff_t(at), f.begin() + ptrdiff_t(at + place.length));
            continue;
        }
        if (ok && frame.length) out.insert(out.end(), frame.bytes.get(), frame.bytes.get() + frame.length);
    }
    HostClose(file);
    if (!ok) {
        std::fprintf(stderr, "yafa-bench: a frame of %s does not unpack; left out\n", example.name.c_str());
        return {};
    }
    return out;
}

Bytes ExampleFrames() {
    std::vector<Bytes> seen;
    Bytes out;
    for (const Example& e : Examples()) {
        Bytes frames = UnpackedFrames(e);
        if (frames.empty() || std::find(seen.begin(), seen.end(), frames) != seen.end()) continue;
        out.insert(out.end(), frames.begin(), frames.end());
        seen.push_back(std::move(frames));
    }
    return out;
}

// Random bytes; about one step in 64 repeats 4 to 31 bytes from up to 4 KiB
// back, so a fifth of the bytes come from matches.
Bytes Noise(size_t n) {
    Random random(404);
    Bytes out;
    out.reserve(n);
    while (out.size() < n) {
        if (out.size() > 4096 && random.Below(64) == 0) {
            const size_t from = out.size() - 1 - random.Below(4096);
            const size_t length = std::min<size_t>(4 + random.Below(28), n - out.size());
            for (size_t k = 0; k < length; ++k) out.push_back(out[from + k]);
        } else {
            out.push_back(uint8_t(random.Next()));
        }
    }
    return out;
}

// Stretches of 256 to 4 KiB, each one short pattern (1 to 16 bytes) repeated.
Bytes Runs(size_t n) {
    Random random(1985);
    Bytes out;
    out.reserve(n);
    while (out.size() < n) {
        uint8_t pattern[16];
        const uint32_t period = 1 + random.Below(16);
        for (uint32_t k = 0; k < period; ++k) pattern[k] = uint8_t(random.Next());
        const size_t length = std::min<size_t>(256 + random.Below(3841), n - out.size());
        for (size_t k = 0; k < length; ++k) out.push_back(pattern[k % period]);
    }
    return out;
}

}  // namespace

host::StandInHost& BenchHost() {
    static host::StandInHost host;
    static const bool attached = (SetHost(host.base()), true);
    (void)attached;
    return host;
}

const std::vector<Example>& Examples() {
    static const std::vector<Example> examples = LoadExamples();
    return examples;
}

const std::vector<std::string>& DataSetNames() {
    static const std::vector<std::string> names = {"frames", "noise", "runs"};
    return names;
}

const Bytes& DataSet(const std::string& name) {
    static std::map<std::string, Bytes> cache;
    auto it = cache.find(name);
    if (it != cache.end()) return it->second;
    Bytes bytes;
    if (name == "frames") bytes = ExampleFrames();
    else if (name == "noise") bytes = Noise(kSyntheticBytes);
    else if (name == "runs") bytes = Runs(kSyntheticBytes);
    return cache.emplace(name, std::move(bytes)).first->second;
}

Bytes RandomBytes(size_t n, uint64_t seed) {
    Random random(seed);
    Bytes out(n);
    for (auto& b : out) b = uint8_t(random.Next());
    return out;
}

}  // namespace yafa::bench
