#include "anim_session.h"

#include <utility>

#include "anim/anim_handle.h"

namespace yafa::tool {

LoadedFrame& LoadedFrame::operator=(LoadedFrame&& other) noexcept {
    if (this != &other) {
        if (pixels_) freeFrame_(pixels_);
        freeFrame_ = std::exchange(other.freeFrame_, nullptr);
        pixels_ = std::exchange(other.pixels_, nullptr);
        palette_ = std::exchange(other.palette_, nullptr);
        depth_ = std::exchange(other.depth_, -1);
    }
    return *this;
}

LoadedFrame::~LoadedFrame() {
    if (pixels_) freeFrame_(pixels_);
}

std::unique_ptr<AnimSession> AnimSession::Open(const std::string& file, const SessionOptions& options,
                                               Failure* failure, std::string* error) {
    *failure = Failure::None;
    std::unique_ptr<AnimSession> s(new AnimSession());
    s->options_ = options;
    s->host_ = std::make_unique<host::StandInHost>(options.hostVersion, options.hostRevision);
    s->plugin_ = host::LoadedPlugin::Load(options.plugin.path, error);
    if (!s->plugin_) {
        *failure = Failure::Plugin;
        return nullptr;
    }
    const host::PluginEntryPoints& api = s->plugin_->api();
    s->pluginInfo_ = s->host_->initInfo();
    api.InitPlugin(&s->pluginInfo_, s->host_->base());
    s->initialised_ = true;
    s->info_.flags = options.indexed ? ANIM_REQUEST_INDEXED : 0;
    s->anim_ = api.OpenAnim(file.c_str(), &s->info_);
    if (s->anim_ == nullptr) {
        *failure = Failure::Open;
        *error = "the plugin cannot open it";
        return nullptr;
    }
    if (!s->depthReported()) s->info_.depth = -1;
    return s;
}

AnimSession::~AnimSession() {
    if (!plugin_) return;
    if (anim_) plugin_->api().CloseAnim(anim_);
    if (initialised_) plugin_->api().ClosePlugin();
}

LoadedFrame AnimSession::Load(int32_t frame) {
    FrameRequest request{};
    request.flags = options_.indexed ? ANIM_REQUEST_INDEXED : 0;
    request.depth = -1;
    void* pixels = plugin_->api().LoadFrame(anim_, frame, &request);
    if (pixels == nullptr) return LoadedFrame();
    return LoadedFrame(plugin_->api().FreeFrame, pixels, request.palette, request.depth);
}

FailureRecord AnimSession::lastFailure() const { return anim_->lastFailure; }

int32_t AnimSession::DelayMs(int32_t frame) { return plugin_->api().GetFrameDelay(anim_, frame); }

}  // namespace yafa::tool
