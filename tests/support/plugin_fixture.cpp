#include "support/plugin_fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "io/host_services.h"
#include "plugin/core_api.h"

namespace yafa::test {

namespace {

// Loaded once per process; every test initialises it again with its own host.
const host::LoadedPlugin& Plugin() {
    static std::unique_ptr<host::LoadedPlugin> plugin = [] {
        std::string error;
        auto loaded = host::LoadedPlugin::Load(YAFA_PLUGIN_PATH, &error);
        if (!loaded) {
            std::fprintf(stderr, "cannot load %s: %s\n", YAFA_PLUGIN_PATH, error.c_str());
            std::abort();
        }
        return loaded;
    }();
    return *plugin;
}

}  // namespace

void PluginTest::TearDown() {
    EXPECT_EQ(host_->openFileCount(), 0u) << "an animation file was left open";
    host_.reset();
}

void PluginTest::StartHost(int32_t version, int32_t revision) {
    host_.reset();
    host_ = std::make_unique<host::StandInHost>(version, revision);
    PluginInfo info = host_->initInfo();
    ASSERT_EQ(api().InitPlugin(&info, host_->base()), 1);
}

const host::PluginEntryPoints& PluginTest::api() const { return Plugin().api(); }

std::string PluginTest::AddFile(Bytes file) {
    std::string name = "mem/anim" + std::to_string(++fileCounter_) + ".yafa";
    host_->addMemoryFile(name, std::move(file));
    return name;
}

AnimPtr PluginTest::Open(Bytes file, int32_t flags, AnimOpenInfo* info) {
    AnimOpenInfo local{};
    local.flags = flags;
    AnimOpenInfo* used = info ? info : &local;
    const std::string name = AddFile(std::move(file));
    AnimPtr anim(api().OpenAnim(name.c_str(), used), AnimCloser{api().CloseAnim});
    if (anim) pixelCounts_[anim.get()] = size_t(uint32_t(used->width)) * uint32_t(used->height);
    return anim;
}

Status PluginTest::OpenStatus(Bytes file, int32_t flags) {
    const std::string name = AddFile(std::move(file));
    AnimOpenInfo info{};
    info.flags = flags;
    AnimHandle* anim = api().OpenAnim(name.c_str(), &info);
    const bool moduleOpened = anim != nullptr;
    if (anim) api().CloseAnim(anim);
    SetHost(host_->base());
    info = AnimOpenInfo{};
    info.flags = flags;
    const Status status = OpenAnimation(name.c_str(), info, &anim);
    if (anim) CloseAnimation(anim);
    EXPECT_EQ(moduleOpened, status == Status::Ok) << StatusPhrase(status);
    EXPECT_EQ(host_->openFileCount(), 0u) << "a refused file was left open";
    return status;
}

// LoadFrame with the request's flags set for `indexed`, the buffer copied out
// and given back; empty when LoadFrame failed.
template <class Pixel>
static std::vector<Pixel> LoadAndFree(const host::PluginEntryPoints& api, AnimHandle* anim, int32_t frame,
                                      FrameRequest* request, size_t pixels, bool* ok) {
    FrameRequest local{};
    FrameRequest* req = request ? request : &local;
    req->flags = sizeof(Pixel) == 1 ? ANIM_REQUEST_INDEXED : 0;
    void* buffer = api.LoadFrame(anim, frame, req);
    *ok = buffer != nullptr;
    if (!buffer) return {};
    std::vector<Pixel> out(static_cast<const Pixel*>(buffer), static_cast<const Pixel*>(buffer) + pixels);
    api.FreeFrame(buffer);
    return out;
}

Frame32 PluginTest::Load32(AnimHandle* anim, int32_t frame, FrameRequest* request) {
    Frame32 out;
    out.pixels = LoadAndFree<uint32_t>(api(), anim, frame, request, pixelCounts_.at(anim), &out.ok);
    return out;
}

Frame8 PluginTest::Load8(AnimHandle* anim, int32_t frame, FrameRequest* request) {
    Frame8 out;
    out.indices = LoadAndFree<uint8_t>(api(), anim, frame, request, pixelCounts_.at(anim), &out.ok);
    return out;
}

uint64_t PluginTest::SeeksDuring(const std::function<void()>& body) {
    const uint64_t before = host_->stats().seeks;
    body();
    return host_->stats().seeks - before;
}

std::vector<uint32_t> Lookup(std::span<const uint8_t> indices, std::span<const uint32_t> palette) {
    std::vector<uint32_t> out;
    for (uint8_t i : indices) out.push_back(i < palette.size() ? palette[i] : 0);
    return out;
}

Written Write(const std::vector<encode::Frame>& frames, const encode::WriterOptions& o) {
    Written w{encode::WriteYafa(frames, o), {}, {}, {}};
    std::vector<uint32_t> palette = o.palette;
    palette.resize(256, 0);
    const std::vector<uint32_t>* colours = &o.palette;
    const size_t tail = o.ham ? (o.depth == 8 ? 64 : 16) : size_t(1) << std::min(o.depth, 8);
    for (const encode::Frame& f : frames) {
        if (!f.palette.empty()) colours = &f.palette;
        for (size_t k = 0; o.framePalette && k < tail; ++k) palette[k] = k < colours->size() ? (*colours)[k] : 0;
        w.indices.push_back(f.indices);
        w.palettes.push_back(palette);
        if (o.ham || o.depth == 24) {
            w.pixels.push_back(f.rgb);
        } else if (o.depth == 15) {
            w.pixels.push_back({});
            for (uint32_t c : f.rgb) w.pixels.back().push_back(c & 0xF8F8F8);
        } else {
            w.pixels.push_back(Lookup(f.indices, palette));
        }
    }
    return w;
}

}  // namespace yafa::test
