// Writes the fuzzers' seed corpora, all made by our own packers and writer:
//   yafa_fuzz_seeds OUTDIR [VECTORS_DIR]
// makes OUTDIR/<target>/seed_NNNN for every fuzz target. With VECTORS_DIR
// (tests/vectors), the reference animations in its valid/ and hostile/
// folders become plugin seeds as well.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "anim_corpus.h"
#include "support/sample_data.h"
#include "delta_encoder.h"
#include "method_packers.h"
#include "s404_packer.h"
#include "xpk_writer.h"

namespace {

namespace fs = std::filesystem;
using yafa::robust::Bytes;
using yafa::test::SampleData;
using yafa::test::Shape;

class CorpusDir {
public:
    CorpusDir(const fs::path& root, const std::string& target) : dir_(root / target) {
        fs::create_directories(dir_);
    }
    void Add(const Bytes& bytes) {
        char name[32];
        std::snprintf(name, sizeof name, "seed_%04d", count_++);
        std::ofstream(dir_ / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                            static_cast<std::streamsize>(bytes.size()));
    }
    int count() const { return count_; }

private:
    fs::path dir_;
    int count_ = 0;
};

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes WithoutTag(const Bytes& stored) { return Bytes(stored.begin() + 4, stored.end()); }

// The plugin fuzzer's trailer: requests, their count, the mode byte.
Bytes Trailer(const std::vector<uint8_t>& requests, uint8_t mode) {
    Bytes t(requests);
    t.push_back(static_cast<uint8_t>(requests.size()));
    t.push_back(mode);
    return t;
}

void PluginSeeds(CorpusDir& out, const fs::path& vectors) {
    int variant = 0;
    for (const auto& anim : yafa::robust::RobustnessCorpus()) {
        const uint8_t last = static_cast<uint8_t>(anim.frameCount - 1);
        const uint8_t indexed = anim.indexedOk ? 0x80 : 0;
        // Host versions 5 to 10, 8-bit frames at open where allowed, tags.
        const uint8_t mode = static_cast<uint8_t>((variant++ % 6) | (indexed ? 8 : 0) | 16);
        out.Add(Cat(anim.file, Trailer({last, 0, static_cast<uint8_t>(last / 2 | indexed), 1, last, 127}, mode)));
        out.Add(Cat(anim.file, Trailer({0, 1, 2, 3, 4}, 5)));
    }
    if (vectors.empty()) return;
    for (const char* folder : {"valid", "hostile"}) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(vectors / folder))
            if (entry.path().extension() == ".yafa") files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const auto& path : files) {
            std::ifstream in(path, std::ios::binary);
            const Bytes file((std::istreambuf_iterator<char>(in)), {});
            out.Add(Cat(file, Trailer({0, 3, 1, 2}, static_cast<uint8_t>(out.count() % 6))));
        }
    }
}

std::vector<Bytes> Samples() {
    std::vector<Bytes> samples;
    const size_t sizes[] = {0, 1, 17, 300, 2000, 7000};
    uint32_t seed = 1;
    for (size_t size : sizes)
        for (Shape shape : {Shape::Runs, Shape::Text, Shape::Noise, Shape::Repeats, Shape::Image})
            samples.push_back(SampleData(shape, size, seed++));
    return samples;
}

void MethodSeeds(const fs::path& root) {
    const auto samples = Samples();
    CorpusDir s404(root, "fuzz_s404"), xpk(root, "fuzz_xpk");
    CorpusDir chunk[3] = {{root, "fuzz_fast"}, {root, "fuzz_nuke"}, {root, "fuzz_rake"}};
    CorpusDir trip[4] = {{root, "fuzz_roundtrip_s404"}, {root, "fuzz_roundtrip_fast"}, {root, "fuzz_roundtrip_nuke"},
                         {root, "fuzz_roundtrip_rake"}};
    using yafa::encode::XpkMethod;
    const XpkMethod methods[3] = {XpkMethod::Fast, XpkMethod::Nuke, XpkMethod::Rake};
    int n = 0;
    for (const Bytes& data : samples) {
        const bool stress = n % 2 == 1;
        const yafa::encode::PackOptions pack{stress, uint32_t(n)};
        s404.Add(WithoutTag(yafa::encode::PackS404(data, pack)));
        for (int m = 0; m < 3; ++m) {
            yafa::encode::XpkOptions options;
            options.method = methods[m];
            options.pack = pack;
            options.chunkSize = n % 3 == 0 ? 0x8000 : 256 + 100 * uint32_t(n % 7);
            options.longHeaders = n % 4 == 1;
            if (n % 5 == 2) options.extraHeader = Bytes{1, 2, 3};
            options.mixRawChunks = n % 3 == 2;
            xpk.Add(WithoutTag(yafa::encode::PackXpk(data, options)));

            // A chunk behind earlier output: chunkStart, UL, earlier bytes, payload.
            const size_t start = data.size() / 3;
            const size_t length = data.size() - start;
            Bytes payload = m == 0   ? yafa::encode::PackFastChunk(data, start, length, pack)
                            : m == 1 ? yafa::encode::PackNukeChunk(data, start, length, pack)
                                     : yafa::encode::PackRakeChunk(data, start, length, pack);
            Bytes job = {uint8_t(start >> 8), uint8_t(start), uint8_t(length >> 8), uint8_t(length)};
            job.insert(job.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(start));
            chunk[m].Add(Cat(job, payload));
        }
        for (auto& t : trip) t.Add(Cat({uint8_t(n * 2 + (stress ? 1 : 0)), uint8_t(n * 37)}, data));
        ++n;
    }
}

void DeltaSeeds(const fs::path& root) {
    CorpusDir out(root, "fuzz_delta");
    struct Geometry {
        uint16_t width;
        uint8_t height, depth, unitFlags;
    };
    const Geometry geometries[] = {{24, 6, 4, 0}, {40, 8, 3, 1}, {72, 5, 2, 2}, {32, 16, 8, 0}, {64, 4, 1, 2}, {16, 3, 5, 1}};
    uint32_t seed = 1;
    for (const Geometry& s : geometries) {
        const int unit = s.unitFlags == 1 ? 2 : s.unitFlags == 2 ? 4 : 1;
        const auto g = yafa::encode::MakeDeltaGeometry(s.width, s.height, s.depth, unit);
        // Changes only where the columns reach.
        Bytes from = SampleData(Shape::Image, g.BufferBytes(), seed++);
        Bytes to = from;
        const Bytes noise = SampleData(Shape::Runs, g.BufferBytes(), seed++);
        for (size_t i = 0; i < to.size(); ++i)
            if (i % g.planeRowBytes < g.ReachedRowBytes() && noise[i] == 0) to[i] ^= 0x5A;
        // Whole frames, and one cut short (its tail read as 0).
        for (uint8_t cut : {uint8_t(0), uint8_t(100)}) {
            Bytes seedBytes = {uint8_t((s.width - 1) >> 8), uint8_t(s.width - 1), uint8_t(s.height - 1), s.depth,
                               s.unitFlags, cut};
            out.Add(Cat(seedBytes, yafa::encode::EncodeDelta(from, to, g)));
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTDIR [VECTORS_DIR]\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    CorpusDir plugin(root, "fuzz_plugin");
    PluginSeeds(plugin, argc > 2 ? fs::path(argv[2]) : fs::path());
    MethodSeeds(root);
    DeltaSeeds(root);
    return 0;
}
