// One animation opened through the plugin, driven exactly as the host does:
// a StandInHost, the module loaded by its nine entry points, InitPlugin,
// OpenAnim, then LoadFrame/FreeFrame and GetFrameDelay, and on destruction
// CloseAnim, ClosePlugin and the module's unloading.
//
// Only one session may exist at a time, as it owns the process's one
// StandInHost.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "format/status.h"
#include "plugin_loader.h"
#include "stand_in_host.h"
#include "plugin_path.h"

namespace yafa::tool {

struct SessionOptions {
    PluginChoice plugin;  // see ChoosePlugin
    int32_t hostVersion = 10;
    int32_t hostRevision = 0;
    bool indexed = false;    // ask for 8-bit palette indices
    uint64_t maxPixels = 0;  // frames larger are refused (0: no limit); see OpenOrComplain
};

// A frame buffer from LoadFrame, handed back through FreeFrame when it goes.
class LoadedFrame {
public:
    LoadedFrame() = default;
    LoadedFrame(FreeFrameFn freeFrame, void* pixels, const uint32_t* palette, int32_t depth)
        : freeFrame_(freeFrame), pixels_(pixels), palette_(palette), depth_(depth) {}
    LoadedFrame(LoadedFrame&& other) noexcept { *this = std::move(other); }
    LoadedFrame& operator=(LoadedFrame&& other) noexcept;
    ~LoadedFrame();

    explicit operator bool() const { return pixels_ != nullptr; }
    const uint8_t* bytes() const { return static_cast<const uint8_t*>(pixels_); }
    const uint32_t* words() const { return static_cast<const uint32_t*>(pixels_); }
    // FrameRequest.palette as LoadFrame left it: null unless the host is
    // newer than version 8 and asked for indices.
    const uint32_t* palette() const { return palette_; }
    int32_t depth() const { return depth_; }  // FrameRequest.depth, -1 when not written

private:
    FreeFrameFn freeFrame_ = nullptr;
    void* pixels_ = nullptr;
    const uint32_t* palette_ = nullptr;
    int32_t depth_ = -1;
};

class AnimSession {
public:
    enum class Failure { None, Plugin, Open };

    // Null on failure: *failure tells whether the plugin could not be loaded
    // or the animation not opened, *error says why.
    static std::unique_ptr<AnimSession> Open(const std::string& file, const SessionOptions& options,
                                             Failure* failure, std::string* error);
    ~AnimSession();

    int32_t width() const { return info_.width; }
    int32_t height() const { return info_.height; }
    int32_t frameCount() const { return info_.frameCount; }
    // AnimOpenInfo.depth: only a host newer than version 8 is told.
    bool depthReported() const { return host_->version() > 8; }
    int32_t depth() const { return info_.depth; }
    bool indexed() const { return options_.indexed; }
    uint64_t pixelCount() const { return uint64_t(uint32_t(width())) * uint32_t(height()); }
    // Bytes of one frame buffer: 1 or 4 per pixel.
    uint64_t frameBytes() const { return pixelCount() * (indexed() ? 1 : 4); }

    // The frame, or an empty LoadedFrame when the plugin fails to decode it.
    LoadedFrame Load(int32_t frame);
    // Why the last Load failed, as the module keeps it in its handle: the
    // tool is built against the same AnimHandle layout (anim/anim_handle.h).
    FailureRecord lastFailure() const;
    int32_t DelayMs(int32_t frame);

    host::StandInHost& host() { return *host_; }

private:
    AnimSession() = default;

    // Destroyed in reverse: the module goes before the host it was given.
    std::unique_ptr<host::StandInHost> host_;
    std::unique_ptr<host::LoadedPlugin> plugin_;
    SessionOptions options_;
    PluginInfo pluginInfo_{};
    AnimOpenInfo info_{};
    AnimHandle* anim_ = nullptr;
    bool initialised_ = false;
};

}  // namespace yafa::tool
