// BM_Unpack: each method unpacking a whole packed stream out of an
// in-memory file of the stand-in host, as DecodeFrame drives it; and the
// baselines memcpy and zlib on the same unpacked bytes.
#include <zlib.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "bench_data.h"
#include "bench_register.h"
#include "io/host_services.h"
#include "s404_packer.h"
#include "unpack/s404.h"
#include "unpack/xpk.h"
#include "xpk_writer.h"

namespace yafa::bench {

namespace {

enum class Method { S404, Fast, Nuke, Rake };

constexpr std::pair<Method, const char*> kMethods[] = {
    {Method::S404, "s404"}, {Method::Fast, "fast"}, {Method::Nuke, "nuke"}, {Method::Rake, "rake"}};

// A packed data set, served by the host under its own name and kept open.
struct PackedStream {
    HostFile file = nullptr;
    uint32_t storedLength = 0;  // tag included
    std::string error;          // why it cannot be measured; empty when it can
};

bool Unpack(Method method, const PackedStream& p, UnpackedFrame& frame) {
    // Both unpackers start right behind the 4-byte tag.
    HostSeek(p.file, 4, HOST_SEEK_START);
    HostFileSource source(p.file);
    uint8_t tag[4];
    if (method == Method::S404) return UnpackS404(source, p.storedLength, UINT32_MAX, frame) == Status::Ok;
    return UnpackXpk(source, UINT32_MAX, frame, tag) == Status::Ok;
}

// Packs on first use (packing is slow, and runs only for the benchmarks
// selected), then checks that the stream unpacks to the data set.
const PackedStream& Packed(Method method, const char* methodName, const std::string& data) {
    static std::map<std::string, PackedStream> cache;
    const std::string name = std::string("bench/") + methodName + "/" + data;
    if (auto it = cache.find(name); it != cache.end()) return it->second;
    PackedStream& p = cache[name];
    const Bytes& bytes = DataSet(data);
    if (bytes.empty()) {
        p.error = "no data";
        return p;
    }
    Bytes stored;
    encode::XpkOptions xpk;
    switch (method) {
    case Method::S404: stored = encode::PackS404(bytes); break;
    case Method::Fast: xpk.method = encode::XpkMethod::Fast; break;
    case Method::Nuke: xpk.method = encode::XpkMethod::Nuke; break;
    case Method::Rake: xpk.method = encode::XpkMethod::Rake; break;
    }
    if (method != Method::S404) stored = encode::PackXpk(bytes, xpk);
    p.storedLength = uint32_t(stored.size());
    BenchHost().addMemoryFile(name, std::move(stored));
    p.file = HostOpen(name.c_str(), 0, 0, 0);
    UnpackedFrame frame;
    if (!p.file) p.error = "cannot open the packed stream";
    else if (!Unpack(method, p, frame)) p.error = "the packed stream does not unpack";
    else if (frame.length != bytes.size() || std::memcmp(frame.bytes.get(), bytes.data(), bytes.size()) != 0)
        p.error = "the packed stream unpacks to other bytes";
    return p;
}

void UnpackBenchmark(benchmark::State& state, Method method, const char* methodName, const std::string& data) {
    const PackedStream& p = Packed(method, methodName, data);
    if (!p.error.empty()) {
        state.SkipWithError(p.error.c_str());
        return;
    }
    const size_t size = DataSet(data).size();
    for (auto _ : state) {
        UnpackedFrame frame;
        if (!Unpack(method, p, frame)) {
            state.SkipWithError("unpacking failed");
            break;
        }
        benchmark::DoNotOptimize(frame.bytes.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
    state.counters["data_bytes"] = double(size);
    state.counters["packed_ratio"] = double(p.storedLength) / double(size);
}

void ZlibBenchmark(benchmark::State& state, const std::string& data) {
    static std::map<std::string, Bytes> compressed;
    const Bytes& bytes = DataSet(data);
    if (bytes.empty()) {
        state.SkipWithError("no data");
        return;
    }
    Bytes& packed = compressed[data];
    if (packed.empty()) {
        uLongf length = compressBound(bytes.size());
        packed.resize(length);
        if (compress2(packed.data(), &length, bytes.data(), bytes.size(), 9) != Z_OK) {
            state.SkipWithError("compress2 failed");
            return;
        }
        packed.resize(length);
    }
    Bytes output(bytes.size());
    for (auto _ : state) {
        uLongf length = output.size();
        if (uncompress(output.data(), &length, packed.data(), packed.size()) != Z_OK || length != bytes.size()) {
            state.SkipWithError("uncompress failed");
            break;
        }
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    state.counters["data_bytes"] = double(bytes.size());
    state.counters["packed_ratio"] = double(packed.size()) / double(bytes.size());
}

}  // namespace

void MemcpyLoop(benchmark::State& state, const uint8_t* source, size_t n) {
    Bytes output(n);
    for (auto _ : state) {
        std::memcpy(output.data(), source, n);
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
    state.counters["data_bytes"] = double(n);
}

void RegisterUnpack() {
    for (const std::string& data : DataSetNames()) {
        for (const auto& entry : kMethods) {
            const Method method = entry.first;
            const char* name = entry.second;
            benchmark::RegisterBenchmark(("BM_Unpack/" + std::string(name) + "/" + data).c_str(),
                                         [method, name, data](benchmark::State& s) {
                                             UnpackBenchmark(s, method, name, data);
                                         })
                ->Unit(benchmark::kMicrosecond);
        }
        benchmark::RegisterBenchmark(("BM_Baseline/memcpy/" + data).c_str(),
                                     [data](benchmark::State& s) {
                                         const Bytes& bytes = DataSet(data);
                                         if (bytes.empty()) s.SkipWithError("no data");
                                         else MemcpyLoop(s, bytes.data(), bytes.size());
                                     })
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("BM_Baseline/zlib/" + data).c_str(),
                                     [data](benchmark::State& s) { ZlibBenchmark(s, data); })
            ->Unit(benchmark::kMicrosecond);
    }
}

}  // namespace yafa::bench
