#include "support/plugin_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <string>

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

void PluginTest::SetUp() { StartHost(10, 0); }

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

Frame32 PluginTest::Load32(AnimHandle* anim, int32_t frame, FrameRequest* request) {
    FrameRequest local{};
    FrameRequest* req = request ? request : &local;
    req->flags = 0;
    Frame32 out;
    void* buffer = api().LoadFrame(anim, frame, req);
    if (!buffer) return out;
    out.ok = true;
    const auto* words = static_cast<const uint32_t*>(buffer);
    out.pixels.assign(words, words + pixelCounts_.at(anim));
    api().FreeFrame(buffer);
    return out;
}

Frame8 PluginTest::Load8(AnimHandle* anim, int32_t frame, FrameRequest* request) {
    FrameRequest local{};
    FrameRequest* req = request ? request : &local;
    req->flags = ANIM_REQUEST_INDEXED;
    Frame8 out;
    void* buffer = api().LoadFrame(anim, frame, req);
    if (!buffer) return out;
    out.ok = true;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    out.indices.assign(bytes, bytes + pixelCounts_.at(anim));
    api().FreeFrame(buffer);
    return out;
}

uint64_t PluginTest::SeeksDuring(const std::function<void()>& body) {
    const uint64_t before = host_->stats().seeks;
    body();
    return host_->stats().seeks - before;
}

std::vector<uint32_t> Lookup(std::span<const uint8_t> indices, std::span<const uint32_t> palette) {
    std::vector<uint32_t> out;
    out.reserve(indices.size());
    for (uint8_t i : indices) out.push_back(i < palette.size() ? palette[i] : 0);
    return out;
}

std::vector<uint32_t> TestPalette(size_t count, uint32_t seed) {
    // The red byte runs through all 256 values, so the colours are distinct.
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < count; ++i)
        out.push_back(((i * 167 + seed) & 0xFF) << 16 | ((i * 29 + seed * 7) & 0xFF) << 8 | ((i * 83 + 5) & 0xFF));
    return out;
}

}  // namespace yafa::test
