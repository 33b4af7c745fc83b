#include "plugin_rig.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace yafa::robust {

std::vector<int32_t> RequestOrder(int32_t n) {
    if (n <= 0) return {0};
    const int32_t mid = n / 2;
    return {mid, mid > 0 ? mid - 1 : 0, n - 1, 0, n > 1 ? n - 2 : 0, n - 1};
}

PluginRig::PluginRig(const std::string& modulePath) {
    std::string error;
    plugin_ = host::LoadedPlugin::Load(modulePath, &error);
    if (!plugin_) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::abort();
    }
    self_ = ::dlopen(modulePath.c_str(), RTLD_NOW | RTLD_NOLOAD);
    StartHost(10);
}

int32_t PluginRig::StartHost(int32_t version, int32_t revision) {
    host_.reset();
    host_ = std::make_unique<host::StandInHost>(version, revision);
    PluginInfo info = host_->initInfo();
    return api().InitPlugin(&info, host_->base());
}

PluginRig::~PluginRig() {
    if (self_) ::dlclose(self_);
}

void* PluginRig::Symbol(const char* name) const { return self_ ? ::dlsym(self_, name) : nullptr; }

void PluginRig::SetFile(Bytes file) { host_->addMemoryFile(kFileName, std::move(file)); }

AnimHandle* PluginRig::Open(bool indexed, AnimOpenInfo* info) {
    *info = AnimOpenInfo{};
    info->flags = indexed ? ANIM_REQUEST_INDEXED : 0;
    return api().OpenAnim(kFileName, info);
}

std::optional<Bytes> PluginRig::Load(AnimHandle* anim, const AnimOpenInfo& info, int32_t frame, bool indexed,
                                     FrameRequest* request) {
    FrameRequest local{};
    if (!request) request = &local;
    request->flags = indexed ? ANIM_REQUEST_INDEXED : 0;
    void* buffer = api().LoadFrame(anim, frame, request);
    if (!buffer) return std::nullopt;
    const size_t size = size_t(uint32_t(info.width)) * uint32_t(info.height) * (indexed ? 1 : 4);
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    Bytes pixels(bytes, bytes + size);
    api().FreeFrame(buffer);
    return pixels;
}

RunResult PluginRig::Run(const Scenario& scenario) {
    RunResult result;
    AnimHandle* anim = Open(scenario.indexed, &result.info);
    if (!anim) return result;
    result.opened = true;
    for (int32_t frame : scenario.frames) {
        result.frames.push_back(Load(anim, result.info, frame, scenario.indexed));
        result.delays.push_back(api().GetFrameDelay(anim, frame));
    }
    api().CloseAnim(anim);
    return result;
}

}  // namespace yafa::robust
