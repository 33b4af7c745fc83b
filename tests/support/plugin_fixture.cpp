#include "support/plugin_fixture.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "io/host_services.h"
#include "plugin/core_api.h"

namespace yafa::test {

void PluginTest::TearDown() { EXPECT_EQ(host().openFileCount(), 0u) << "an animation file was left open"; }

std::string PluginTest::AddFile(Bytes file) {
    std::string name = "mem/anim" + std::to_string(++fileCounter_) + ".yafa";
    host().addMemoryFile(name, std::move(file));
    return name;
}

AnimPtr PluginTest::Open(Bytes file, int32_t flags, AnimOpenInfo* info) {
    AnimOpenInfo local{};
    local.flags = flags;
    AnimOpenInfo* used = info ? info : &local;
    const std::string name = AddFile(std::move(file));
    AnimPtr anim(api().OpenAnim(name.c_str(), used), AnimCloser{api().CloseAnim});
    if (anim) infos_[anim.get()] = *used;
    return anim;
}

Status PluginTest::OpenStatus(Bytes file, int32_t flags) {
    const std::string name = AddFile(std::move(file));
    AnimOpenInfo info{};
    info.flags = flags;
    AnimHandle* anim = api().OpenAnim(name.c_str(), &info);
    const bool moduleOpened = anim != nullptr;
    if (anim) api().CloseAnim(anim);
    SetHost(host().base());
    info = AnimOpenInfo{};
    info.flags = flags;
    const Status status = OpenAnimation(name.c_str(), info, &anim);
    if (anim) CloseAnimation(anim);
    EXPECT_EQ(moduleOpened, status == Status::Ok) << StatusPhrase(status);
    EXPECT_EQ(host().openFileCount(), 0u) << "a refused file was left open";
    return status;
}

Frame32 PluginTest::Load32(AnimHandle* anim, int32_t frame, FrameRequest* request) {
    const auto bytes = robust::Rig().Load(anim, infos_.at(anim), frame, false, request);
    Frame32 out{bytes.has_value(), std::vector<uint32_t>(bytes ? bytes->size() / 4 : 0)};
    if (bytes) std::memcpy(out.pixels.data(), bytes->data(), bytes->size());
    return out;
}

Frame8 PluginTest::Load8(AnimHandle* anim, int32_t frame, FrameRequest* request) {
    const auto bytes = robust::Rig().Load(anim, infos_.at(anim), frame, true, request);
    return {bytes.has_value(), bytes.value_or(Bytes{})};
}

uint64_t PluginTest::SeeksDuring(const std::function<void()>& body) {
    const uint64_t before = host().stats().seeks;
    body();
    return host().stats().seeks - before;
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
