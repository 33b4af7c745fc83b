// DecodeS404 on arbitrary packed data and sizes. Input: the S404 stream as
// a frame stores it behind its tag: a word that is not used, unpackedSize
// (taken mod 2^20 here), packedEnd, then the packed data. Both the packed
// data and the output lie against unmapped pages; the output, written from
// its end downwards, starts at one on every other input.
#include <cstdint>

#include "guarded_buffer.h"
#include "unpack/s404.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    yafa::fuzz::FuzzInput in(data, size);
    in.U32();
    const uint32_t unpackedSize = in.U32() & 0xFFFFF;
    const uint32_t packedEnd = in.U32();
    const auto packed = in.Rest();
    yafa::fuzz::GuardedBuffer source(packed.size());
    source.Fill(packed, 0);
    yafa::fuzz::GuardedBuffer output(unpackedSize, size % 2 ? yafa::fuzz::Guard::Start : yafa::fuzz::Guard::End);
    output.Fill({}, 0xCD);
    yafa::DecodeS404(source.span(), packedEnd, output.span());
    return 0;
}
