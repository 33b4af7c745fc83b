// One XPK method's chunk decoder on an XpkChunkJob whose output already
// holds earlier chunks' bytes. Built once per method with YAFA_FUZZ_METHOD
// set to Fast, Nuke or Rake.
//
// Input: chunkStart (u16), unpackedLength (u16), then up to chunkStart bytes
// of earlier output (a pattern fills what the input lacks), then the packed
// chunk. The packed bytes (PL rounded up to 4) and the output buffer
// (chunkStart + unpackedLength + XPK_OUTPUT_SLACK) both end at unmapped pages.
// The bytes of earlier chunks must come out unchanged; a RAKE chunk may not
// touch anything outside its own region at all, and since it writes
// downwards, its output starts at the front guard page on every other input.
#include <cstdint>
#include <cstring>
#include <vector>

#include "guarded_buffer.h"
#include "unpack/xpk_chunk_job.h"

#define YAFA_CONCAT2(a, b) a##b
#define YAFA_CONCAT(a, b) YAFA_CONCAT2(a, b)
#define YAFA_DECODE YAFA_CONCAT(yafa::Decode, YAFA_CONCAT(YAFA_FUZZ_METHOD, Chunk))
#define YAFA_STRING2(x) #x
#define YAFA_STRING(x) YAFA_STRING2(x)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using yafa::XPK_OUTPUT_SLACK;
    yafa::fuzz::FuzzInput in(data, size);
    const uint32_t chunkStart = in.U16();
    const uint32_t unpackedLength = in.U16();
    const auto earlierIn = in.Take(chunkStart);
    const auto payload = in.Rest();

    std::vector<uint8_t> earlier(earlierIn.begin(), earlierIn.end());
    for (size_t i = earlier.size(); i < chunkStart; ++i) earlier.push_back(static_cast<uint8_t>(i * 7 + 3));

    const auto packedLength = static_cast<uint32_t>(payload.size());
    yafa::fuzz::GuardedBuffer packed((packedLength + 3u) & ~3u);
    packed.Fill(payload, 0);
    const bool rake = std::strcmp(YAFA_STRING(YAFA_FUZZ_METHOD), "Rake") == 0;
    const size_t regionEnd = size_t{chunkStart} + unpackedLength;
    yafa::fuzz::GuardedBuffer output(regionEnd + XPK_OUTPUT_SLACK,
                                     rake && size % 2 ? yafa::fuzz::Guard::Start : yafa::fuzz::Guard::End);
    output.Fill(earlier, 0xCD);

    if (rake) {
        output.Poison(0, chunkStart);
        output.Poison(regionEnd, XPK_OUTPUT_SLACK);
    }
    const yafa::XpkChunkJob job{packed.data(), packedLength, output.data(), chunkStart, unpackedLength};
    YAFA_DECODE(job);
    if (rake) {
        output.Unpoison(0, chunkStart);
        output.Unpoison(regionEnd, XPK_OUTPUT_SLACK);
    }
    if (chunkStart && std::memcmp(output.data(), earlier.data(), chunkStart) != 0)
        yafa::fuzz::Finding("the decoder changed bytes of earlier chunks");
    return 0;
}
