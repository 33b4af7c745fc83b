// The whole plugin on a file held in memory behind the stand-in host's file
// services, driven the way a host drives it: InitPlugin, OpenAnim, a sequence
// of LoadFrame and GetFrameDelay requests, CloseAnim.
//
// Input: the file, then the request bytes, then their count (mod 17), then a
// mode byte. Mode bits 0..2 choose the host version 5 + v mod 6, bit 3 asks
// for 8-bit frames at open, bit 4 passes open tags. A request byte's bit 7
// asks for 8-bit output, bits 0..6 give the frame (127: one past the last).
//
// Besides the sanitizers' findings, the run stops when a file stays open,
// when the same frame decodes to different pixels on two requests (delta
// replays must rebuild exactly the same state), or when the plugin asks for
// a block larger than the opened animation's geometry can need (see the
// memory bound in README.md; refused blocks count too).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "alloc_shim.h"
#include "guarded_buffer.h"
#include "stand_in_host.h"
#include "lumivue/host_abi.h"

extern "C" {
int32_t InitPlugin(PluginInfo* info, HostBase* host);
AnimHandle* OpenAnim(const char* name, AnimOpenInfo* info);
void CloseAnim(AnimHandle* anim);
void* LoadFrame(AnimHandle* anim, int32_t frame, FrameRequest* request);
int32_t GetFrameDelay(AnimHandle* anim, int32_t frame);
void FreeFrame(void* frame);
}

namespace {

using yafa::fuzz::Finding;

// Keeps one input's work small whatever its header claims: no block above
// this size (width × height is then small), and no more than this many read
// calls (each frame decode makes at least one), after which the file reads
// as ended. Both are things a host may do; the plugin must cope.
constexpr size_t kMaxBlock = 256 * 1024;
constexpr int kReadBudget = 256;

HostFileApi gRealFiles;
HostFileApi gFiles;
int gReadsLeft = 0;

int32_t BudgetRead(HostFile file, void* buffer, int32_t length) {
    if (gReadsLeft <= 0) return 0;
    --gReadsLeft;
    return gRealFiles.read(file, buffer, length);
}

struct Armed {
    Armed() { YafaAllocArm(1); }
    ~Armed() { YafaAllocArm(0); }
};

// The largest single block an animation of this size may need: an unpacked
// frame with the XPK slack (4 × its pixel data, taken at 24 planes, + the
// largest palette tail + 1 MiB, + 16 KiB), or the packed bytes read for it,
// which for inputs this small are read at once into at most 1 MiB; twice the
// largest frame covers both.
uint64_t LargestBlockBound(const AnimOpenInfo& open) {
    const uint64_t width = uint32_t(open.width), height = uint32_t(open.height);
    const uint64_t data = height * ((width + 15) / 16 * 2) * 24;
    const uint64_t maxFrame = 4 * data + 3080 + (1u << 20);
    const uint64_t table = 4 * 65535;
    return std::max(2 * maxFrame + 16384, table);
}

uint64_t Hash(const uint8_t* p, size_t n) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    YafaAllocSetCap(kMaxBlock);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t mode = data[size - 1];
    size_t count = data[size - 2] % 17;
    size -= 2;
    if (count > size) count = size;
    const uint8_t* requests = data + size - count;
    const size_t fileSize = size - count;

    yafa::host::StandInHost host(5 + (mode & 7) % 6, 0);
    host.addMemoryFile("fuzz.yafa", std::vector<uint8_t>(data, data + fileSize));
    gRealFiles = *host.base()->fileApi;
    gFiles = gRealFiles;
    gFiles.read = BudgetRead;
    gReadsLeft = kReadBudget;
    HostBase base = *host.base();
    base.fileApi = &gFiles;
    PluginInfo info = host.initInfo();
    InitPlugin(&info, &base);

    AnimOpenInfo open{};
    open.flags = (mode & 8) ? ANIM_REQUEST_INDEXED : 0;
    if (mode & 16) {
        open.openTag1Data = 0x1111;
        open.openTag6Data = 0x6666;
    }
    AnimHandle* anim;
    YafaAllocReset();
    {
        Armed armed;
        anim = OpenAnim("fuzz.yafa", &open);
    }
    if (!anim) {
        if (host.openFileCount() != 0) Finding("a failed OpenAnim left the file open");
        return 0;
    }

    std::map<std::pair<int32_t, bool>, uint64_t> seen;
    for (size_t i = 0; i < count; ++i) {
        int32_t frame = requests[i] & 127;
        if (frame == 127) frame = open.frameCount;
        const bool indexed = (requests[i] & 128) != 0;
        FrameRequest request{};
        request.flags = indexed ? ANIM_REQUEST_INDEXED : 0;
        void* pixels;
        {
            Armed armed;
            pixels = LoadFrame(anim, frame, &request);
            GetFrameDelay(anim, frame);
        }
        if (!pixels) continue;
        const size_t bytes = size_t(uint32_t(open.width)) * uint32_t(open.height) * (indexed ? 1 : 4);
        const uint64_t h = Hash(static_cast<const uint8_t*>(pixels), bytes);
        const auto [it, fresh] = seen.emplace(std::make_pair(frame, indexed), h);
        if (!fresh && it->second != h) Finding("one frame decoded to different pixels on two requests");
        FreeFrame(pixels);
    }
    {
        Armed armed;
        CloseAnim(anim);
    }
    if (host.openFileCount() != 0) Finding("CloseAnim left the file open");
    YafaAllocStats stats;
    YafaAllocGetStats(&stats);
    if (stats.largest > LargestBlockBound(open)) Finding("a block beyond what the animation's geometry can need");
    return 0;
}
