// yafa raw: the plugin's frame buffers as they come, for comparison with
// reference output. Per requested frame: width × height little-endian u32
// 0x00RRGGBB; or, with --indexed, width × height index bytes and then the
// 256-entry palette that the request returned (256 little-endian u32). A
// host of version 8 or older gets no palette address back: 1024 zero bytes
// stand in for it, so every frame keeps the same size.
#include <bit>
#include <cstdio>
#include <vector>

#include "command_support.h"
#include "commands.h"
#include "frame_check.h"

namespace yafa::tool {
namespace {

// Little-endian u32 words from native ones.
bool WriteWordsLE(const uint32_t* words, uint64_t count) {
    if constexpr (std::endian::native == std::endian::little) {
        return std::fwrite(words, 4, count, stdout) == count;
    } else {
        std::vector<uint8_t> chunk;
        for (uint64_t i = 0; i < count;) {
            const uint64_t n = std::min<uint64_t>(count - i, 16384);
            chunk.resize(n * 4);
            for (uint64_t k = 0; k < n; ++k) {
                const uint32_t w = words[i + k];
                chunk[4 * k] = uint8_t(w), chunk[4 * k + 1] = uint8_t(w >> 8);
                chunk[4 * k + 2] = uint8_t(w >> 16), chunk[4 * k + 3] = uint8_t(w >> 24);
            }
            if (std::fwrite(chunk.data(), 1, chunk.size(), stdout) != chunk.size()) return false;
            i += n;
        }
        return true;
    }
}

bool WriteFrame(const AnimSession& session, const LoadedFrame& frame) {
    if (!session.indexed()) return WriteWordsLE(frame.words(), session.pixelCount());
    const uint64_t n = session.pixelCount();
    if (std::fwrite(frame.bytes(), 1, n, stdout) != n) return false;
    static const uint32_t kNoPalette[256] = {};
    return WriteWordsLE(frame.palette() ? frame.palette() : kNoPalette, 256);
}

}  // namespace

int RunRaw(const HostOptions& host, const RawOptions& options) {
    static char buffer[1 << 20];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);

    std::string error;
    if (!StandardOutputTakesBinary(&error))
        return Complain(kExitOpen, OutputFile::kStandardOutput, error + " (yafa raw FILE > frames.bin)");
    int exitCode = kExitOk;
    const auto input = OpenInput(options.file, &exitCode);
    if (!input) return exitCode;
    std::vector<FrameSpan> spans;
    auto session = OpenWithFrames(*input, options.frames, MakeSessionOptions(host, options.indexed), &spans, &exitCode);
    if (!session) return exitCode;

    int32_t failedFrame = -1;
    bool writeFailed = false;
    ForEachFrame(spans, [&](int32_t index) {
        const LoadedFrame frame = session->Load(index);
        if (!frame) {
            failedFrame = index;
            return false;
        }
        writeFailed = !WriteFrame(*session, frame);
        return !writeFailed;
    });
    if (std::fflush(stdout) != 0 || writeFailed) return Complain(kExitOpen, OutputFile::kStandardOutput, "cannot write");
    if (failedFrame >= 0)
        return ComplainFrame(input->name(), failedFrame, FrameFailureReason(*input, failedFrame, session->lastFailure()));
    return kExitOk;
}

}  // namespace yafa::tool
