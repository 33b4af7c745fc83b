// A packer against its decoder on arbitrary bytes: pack, unpack, compare.
// Built once per method with YAFA_ROUNDTRIP set to S404, Fast, Nuke or Rake.
//
// Input: an options byte (bit 0 stress, the rest the stress seed), a byte
// that splits the data into up to three XPK chunks, then the data. Each XPK
// chunk is packed with the stream's earlier bytes before it, as the writer
// does, and decoded into a buffer of exactly chunkStart + UL + slack bytes
// that holds those earlier bytes; packed bytes and outputs end at unmapped
// pages. Any difference stops the run, and so does a packed stream that
// makes more than its method's expansion bound, which the reader enforces.
#include <cstdint>
#include <cstring>
#include <vector>

#include "format/big_endian.h"
#include "format/nuke_format.h"
#include "format/rake_format.h"
#include "format/s404_format.h"
#include "format/xpk_format.h"
#include "guarded_buffer.h"
#include "method_packers.h"
#include "s404_packer.h"
#include "unpack/s404.h"
#include "unpack/xpk_chunk_job.h"

#define YAFA_ID_S404 1
#define YAFA_ID_Fast 2
#define YAFA_ID_Nuke 3
#define YAFA_ID_Rake 4
#define YAFA_ID2(m) YAFA_ID_##m
#define YAFA_ID(m) YAFA_ID2(m)
#define YAFA_METHOD YAFA_ID(YAFA_ROUNDTRIP)

namespace {

using yafa::fuzz::Finding;
using yafa::fuzz::GuardedBuffer;

#if YAFA_METHOD == YAFA_ID_S404
uint32_t U32At(const std::vector<uint8_t>& b, size_t at) { return yafa::LoadU32BE(b.data() + at); }

void RoundTripS404(std::span<const uint8_t> data, const yafa::encode::PackOptions& options) {
    const std::vector<uint8_t> stored = yafa::encode::PackS404(data, options);
    // The tag, a word that is not used, unpackedSize, packedEnd, packed data.
    if (stored.size() < 16 || std::memcmp(stored.data(), "S404", 4) != 0) Finding("packer wrote no S404 header");
    if (U32At(stored, 8) != data.size()) Finding("packer wrote a wrong unpacked size");
    GuardedBuffer packed(stored.size() - 16);
    packed.Fill(std::span(stored).subspan(16), 0);
    GuardedBuffer output(data.size());
    output.Fill({}, 0xCD);
    // The reader refuses sizes beyond what the packed data can make.
    if (!data.empty() && data.size() > yafa::S404_MAX_EXPANSION * U32At(stored, 12))
        Finding("the stream makes more than S404_MAX_EXPANSION allows");
    if (yafa::DecodeS404(packed.span(), U32At(stored, 12), output.span()) != yafa::Status::Ok)
        Finding("decoder refused the packer's stream");
    if (!data.empty() && std::memcmp(output.data(), data.data(), data.size()) != 0) Finding("round trip changed the data");
}

#else
std::vector<uint8_t> PackChunk(std::span<const uint8_t> stream, size_t start, size_t length,
                               const yafa::encode::PackOptions& options) {
#if YAFA_METHOD == YAFA_ID_Fast
    return yafa::encode::PackFastChunk(stream, start, length, options);
#elif YAFA_METHOD == YAFA_ID_Nuke
    return yafa::encode::PackNukeChunk(stream, start, length, options);
#else
    return yafa::encode::PackRakeChunk(stream, start, length, options);
#endif
}

constexpr uint64_t kMaxExpansion =
#if YAFA_METHOD == YAFA_ID_Fast
    yafa::FAST_MAX_EXPANSION;
#elif YAFA_METHOD == YAFA_ID_Nuke
    yafa::NUKE_MAX_EXPANSION;
#else
    yafa::RAKE_MAX_EXPANSION;
#endif

yafa::Status DecodeChunk(const yafa::XpkChunkJob& job) {
#if YAFA_METHOD == YAFA_ID_Fast
    return yafa::DecodeFastChunk(job);
#elif YAFA_METHOD == YAFA_ID_Nuke
    return yafa::DecodeNukeChunk(job);
#else
    return yafa::DecodeRakeChunk(job);
#endif
}

void RoundTripXpk(std::span<const uint8_t> data, uint8_t split, const yafa::encode::PackOptions& options) {
    // Up to three chunks; the split byte places their boundaries.
    std::vector<size_t> ends;
    const size_t chunks = 1 + split % 3;
    for (size_t k = 1; k < chunks; ++k) ends.push_back(data.size() * ((split >> (2 * k)) % 4 + k) / 8);
    ends.push_back(data.size());
    size_t start = 0;
    for (size_t end : ends) {
        // The writer makes no empty chunks (a RAKE chunk holds at least one item).
        if (end <= start) continue;
        const size_t length = end - start;
        const std::vector<uint8_t> payload = PackChunk(data, start, length, options);
        // The reader refuses lengths beyond what the packed bytes can make.
        if (length > kMaxExpansion * yafa::XpkPaddedLength(payload.size()))
            Finding("the chunk makes more than its method's expansion bound allows");
        GuardedBuffer packed((payload.size() + 3) & ~size_t{3});
        packed.Fill(payload, 0);
        GuardedBuffer output(end + yafa::XPK_OUTPUT_SLACK);
        output.Fill(data.first(start), 0xCD);
        const yafa::XpkChunkJob job{packed.data(), static_cast<uint32_t>(payload.size()), output.data(),
                                    static_cast<uint32_t>(start), static_cast<uint32_t>(length)};
        if (DecodeChunk(job) != yafa::Status::Ok) Finding("decoder refused the packer's chunk");
        if (std::memcmp(output.data() + start, data.data() + start, length) != 0)
            Finding("round trip changed the data");
        start = end;
    }
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    yafa::fuzz::FuzzInput in(data, size);
    const uint8_t optionsByte = in.Byte();
    const uint8_t split = in.Byte();
    const auto bytes = in.Rest();
    const yafa::encode::PackOptions options{(optionsByte & 1) != 0, uint32_t{optionsByte} >> 1};
#if YAFA_METHOD == YAFA_ID_S404
    (void)split;
    RoundTripS404(bytes, options);
#else
    RoundTripXpk(bytes, split, options);
#endif
    return 0;
}
