// A fixture that loads yafa.lvp through its exported entry points, runs it
// against a fresh stand-in host for every test, and wraps the calls a test
// makes: opening an in-memory file, loading a frame as pixels or indices.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "host/plugin_loader.h"
#include "host/stand_in_host.h"
#include "support/yafa_builder.h"

namespace yafa::test {

struct AnimCloser {
    CloseAnimFn close;
    void operator()(AnimHandle* anim) const { close(anim); }
};
using AnimPtr = std::unique_ptr<AnimHandle, AnimCloser>;

// A frame as the host got it back. `ok` is false when LoadFrame returned null.
struct Frame32 {
    bool ok = false;
    std::vector<uint32_t> pixels;
};
struct Frame8 {
    bool ok = false;
    Bytes indices;
};

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Replaces the host (the plugin is initialised again with it).
    void StartHost(int32_t version, int32_t revision = 0);

    const host::PluginEntryPoints& api() const;
    host::StandInHost& host() { return *host_; }

    // Serves `file` under a fresh name and returns the name.
    std::string AddFile(Bytes file);
    // Opens `file`; `info` (when given) is passed as it is, else a zeroed
    // record with `flags`.
    AnimPtr Open(Bytes file, int32_t flags = 0, AnimOpenInfo* info = nullptr);

    Frame32 Load32(AnimHandle* anim, int32_t frame, FrameRequest* request = nullptr);
    Frame8 Load8(AnimHandle* anim, int32_t frame, FrameRequest* request = nullptr);
    // Host seeks made by `body`: one per frame decode of a raw frame.
    uint64_t SeeksDuring(const std::function<void()>& body);

private:
    std::unique_ptr<host::StandInHost> host_;
    int fileCounter_ = 0;
    std::map<const AnimHandle*, size_t> pixelCounts_;  // width x height, from OpenAnim
};

// 0x00RRGGBB of each index.
std::vector<uint32_t> Lookup(std::span<const uint8_t> indices, std::span<const uint32_t> palette);

// A palette of distinct colours.
std::vector<uint32_t> TestPalette(size_t count, uint32_t seed = 1);

}  // namespace yafa::test
