// UnpackXpk on a stream held in memory behind the stand-in host's file
// services. Input: the stream as a frame stores it behind its "XPKF" tag.
#include <cstdint>
#include <vector>

#include "guarded_buffer.h"
#include "host/stand_in_host.h"
#include "plugin/host_services.h"
#include "unpack/xpk.h"

namespace {

// The frame size the caller allows; streams that unpack to more must fail.
constexpr uint32_t kMaxUnpacked = 1u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    yafa::host::StandInHost host;
    host.addMemoryFile("stream", std::vector<uint8_t>(data, data + size));
    yafa::SetHost(host.base());
    HostFile file = yafa::HostOpen("stream", 0, 0, 0);
    yafa::UnpackedFrame frame;
    if (yafa::UnpackXpk(file, frame, kMaxUnpacked)) {
        if (frame.length > kMaxUnpacked) yafa::fuzz::Finding("a stream unpacked beyond the allowed size");
        if (frame.length > 0 && !frame.bytes) yafa::fuzz::Finding("a non-empty frame without bytes");
        // Every byte of the result must lie inside its block.
        volatile uint8_t sink = 0;
        for (uint32_t i = 0; i < frame.length; ++i) sink = sink ^ frame.bytes[i];
    }
    yafa::HostClose(file);
    yafa::SetHost(nullptr);
    return 0;
}
