// UnpackXpk on a stream held in memory. Input: the stream as a frame stores
// it behind its "XPKF" tag.
#include <cstdint>

#include "format/byte_source.h"
#include "guarded_buffer.h"
#include "unpack/xpk.h"

namespace {

// The frame size the caller allows; streams that unpack to more must fail.
constexpr uint32_t kMaxUnpacked = 1u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    yafa::MemorySource source({data, size});
    yafa::UnpackedFrame frame;
    uint8_t tag[4];
    if (yafa::UnpackXpk(source, kMaxUnpacked, frame, tag) == yafa::Status::Ok) {
        if (frame.length > kMaxUnpacked) yafa::fuzz::Finding("a stream unpacked beyond the allowed size");
        if (frame.length > 0 && !frame.bytes) yafa::fuzz::Finding("a non-empty frame without bytes");
        if (frame.held != frame.length) yafa::fuzz::Finding("an XPK frame without all its bytes");
        // Every byte of the result must lie inside its block.
        volatile uint8_t sink = 0;
        for (uint32_t i = 0; i < frame.length; ++i) sink = sink ^ frame.bytes[i];
    } else if (frame.bytes || frame.length) {
        yafa::fuzz::Finding("a failed stream changed the frame");
    }
    return 0;
}
