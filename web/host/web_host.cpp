// The browser's host for yafa.lvp. JavaScript copies an animation into wasm
// memory; the host serves those bytes to the plugin through its file
// services and drives the plugin through its entry points, called directly:
// there is no dlopen in the browser. It opens animations through the core's
// OpenAnimation, which is OpenAnim with the reason of a refusal, and reads
// the reason of a failed frame from the handle, so that the player can say
// why. The C interface at the end is what the player's worker calls.
// Everything runs on the worker's one thread.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "host/frame_storage.h"
#include "lumivue/host_abi.h"
#include "plugin/core_api.h"

// The plugin's entry points, linked in rather than looked up.
extern "C" {
int32_t InitPlugin(PluginInfo* info, HostBase* host);
void FreeFrame(void* frame);
void CloseAnim(AnimHandle* anim);
void* LoadFrame(AnimHandle* anim, int32_t frame, FrameRequest* request);
int32_t GetFrameDelay(AnimHandle* anim, int32_t frame);
}

namespace {

// Told to the plugin: a current host, so it reports depth and takes tags.
constexpr int32_t kHostVersion = 10;

// An animation's bytes, served under a name of their own.
struct MemoryFile {
    std::string name;
    const uint8_t* bytes = nullptr;
    uint32_t size = 0;
};

struct OpenFile {
    const MemoryFile* source;
    uint32_t position;  // may lie past the end; never above INT32_MAX
};

// The host's state: the files JavaScript handed in, one per open animation.
std::vector<const MemoryFile*> gFiles;

int32_t RegisterFileType(PluginInfo*, int32_t, const char*, int32_t, const char*, int32_t, int32_t) { return 1; }

HostFile Open(const char* name, int32_t) {
    for (const MemoryFile* file : gFiles) {
        if (file->name == name) return new (std::nothrow) OpenFile{file, 0};
    }
    return nullptr;
}

HostFile OpenWithTags(const char* name, int32_t mode, const HostTag*) { return Open(name, mode); }

int32_t Close(HostFile file) {
    delete static_cast<OpenFile*>(file);
    return 1;
}

// Returns the position before the move; refuses targets outside 0..INT32_MAX.
int32_t Seek(HostFile handle, int32_t offset, int32_t mode) {
    auto* file = static_cast<OpenFile*>(handle);
    int64_t target = offset;
    if (mode == HOST_SEEK_CURRENT) target += file->position;
    else if (mode != HOST_SEEK_START) return -1;
    if (target < 0 || target > std::numeric_limits<int32_t>::max()) return -1;
    const auto before = int32_t(file->position);
    file->position = uint32_t(target);
    return before;
}

int32_t Read(HostFile handle, void* buffer, int32_t length) {
    auto* file = static_cast<OpenFile*>(handle);
    if (length < 0) return -1;
    const uint32_t size = file->source->size;
    const uint32_t available = file->position < size ? size - file->position : 0;
    const uint32_t n = uint32_t(length) < available ? uint32_t(length) : available;
    if (n) std::memcpy(buffer, file->source->bytes + file->position, n);
    file->position += n;
    return int32_t(n);
}

int32_t ReadByte(HostFile handle) {
    uint8_t byte;
    return Read(handle, &byte, 1) == 1 ? byte : -1;
}

HostCoreApi gCoreApi = [] {
    HostCoreApi api{};
    api.registerFileType = RegisterFileType;
    return api;
}();

HostFileApi gFileApi = [] {
    HostFileApi api{};
    api.open = Open;
    api.close = Close;
    api.seek = Seek;
    api.read = Read;
    api.readByte = ReadByte;
    api.openWithTags = OpenWithTags;
    return api;
}();

HostBase gHost{kHostVersion, 0, 0, &gCoreApi, &gFileApi};

void StartPluginOnce() {
    static bool started = false;
    if (started) return;
    PluginInfo info{};
    info.hostVersion = kHostVersion;
    InitPlugin(&info, &gHost);
    started = true;
}

}  // namespace

// What JavaScript reads of an animation: ten 32-bit words at the address
// yafa_web_open returned.
struct WebAnimInfo {
    int32_t width, height, depth, frameCount, frameFormat, flags;
    const char* storage;  // each frame's storage, comma-separated
    uint32_t storageLength;
    // Why the file cannot be opened (failedFrame -1), or why frame
    // failedFrame failed last: the decoder's phrase, NUL-terminated. Null
    // while nothing has failed.
    const char* failure;
    int32_t failedFrame;
};
static_assert(sizeof(WebAnimInfo) == 10 * 4, "JavaScript reads ten 32-bit words");

struct WebAnim {
    WebAnimInfo info{};  // first: the animation's address is the info's
    MemoryFile file;
    AnimHandle* anim = nullptr;
    std::string storage;

    ~WebAnim() {
        if (anim) CloseAnim(anim);
        std::erase(gFiles, &file);
        std::free(const_cast<uint8_t*>(file.bytes));
    }

    // Keeps the reason of the failure the handle recorded last.
    void KeepFailure() {
        info.failure = yafa::StatusPhrase(anim->lastFailure.status);
        info.failedFrame = anim->lastFailure.frame;
    }
};

extern "C" {

// Opens the `size` bytes at `bytes`, which JavaScript got from malloc and
// which the animation now owns (they are freed on failure too). Null only
// when memory runs out; when the plugin cannot open the bytes, info.failure
// says why, and the animation is only good for yafa_web_close.
WebAnim* yafa_web_open(uint8_t* bytes, uint32_t size) {
    std::unique_ptr<WebAnim> web(new (std::nothrow) WebAnim);
    if (!web) {
        std::free(bytes);
        return nullptr;
    }
    web->file = {"memory:" + std::to_string(uintptr_t(web.get())), bytes, size};
    gFiles.push_back(&web->file);
    StartPluginOnce();
    AnimOpenInfo open{};
    if (const yafa::Status status = yafa::OpenAnimation(web->file.name.c_str(), open, &web->anim);
        status != yafa::Status::Ok) {
        web->info.failure = yafa::StatusPhrase(status);
        web->info.failedFrame = -1;
        return web.release();
    }
    const AnimHandle& anim = *web->anim;
    web->storage = yafa::web::FrameStorageList(anim, gFileApi, web->file.name.c_str());
    web->info = {open.width, open.height, open.depth, open.frameCount, anim.frameFormat, anim.flags,
                 web->storage.c_str(), uint32_t(web->storage.size()), nullptr, -1};
    return web.release();
}

void yafa_web_close(WebAnim* web) { delete web; }

// Frame `index` as width × height RGBA bytes (alpha 255), ready for an
// ImageData, or null when the frame fails. Give it back with yafa_web_release.
uint8_t* yafa_web_frame(WebAnim* web, int32_t index) {
    FrameRequest request{};
    auto* pixels = static_cast<uint32_t*>(LoadFrame(web->anim, index, &request));
    if (!pixels) {
        web->KeepFailure();
        return nullptr;
    }
    // 0x00RRGGBB words become the bytes R, G, B, 255 (wasm is little-endian).
    const uint32_t* end = pixels + uint32_t(web->info.width) * uint32_t(web->info.height);
    for (uint32_t* p = pixels; p != end; ++p) {
        const uint32_t x = *p;
        *p = 0xFF000000u | (x & 0xFF) << 16 | (x & 0xFF00) | (x >> 16 & 0xFF);
    }
    return reinterpret_cast<uint8_t*>(pixels);
}

void yafa_web_release(uint8_t* frame) { FreeFrame(frame); }

int32_t yafa_web_delay(WebAnim* web, int32_t index) { return GetFrameDelay(web->anim, index); }

// Plays every frame from the first to the last `passes` times, as 32-bit
// pixels, the way the native playback benchmark does. Frames played, or -1
// when one fails.
int32_t yafa_web_play(WebAnim* web, int32_t passes) {
    int32_t played = 0;
    for (int32_t pass = 0; pass < passes; ++pass) {
        for (int32_t i = 0; i < web->info.frameCount; ++i) {
            FrameRequest request{};
            void* pixels = LoadFrame(web->anim, i, &request);
            if (!pixels) {
                web->KeepFailure();
                return -1;
            }
            FreeFrame(pixels);
            ++played;
        }
    }
    return played;
}

}  // extern "C"
