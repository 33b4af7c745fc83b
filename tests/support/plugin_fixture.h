// A fixture that loads yafa.lvp through its exported entry points, runs it
// against a fresh stand-in host for every test, and wraps the calls a test
// makes: opening an in-memory file, loading a frame as pixels or indices.
// Also animations from our writer together with what each frame must show.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "anim/anim_handle.h"
#include "anim_corpus.h"
#include "plugin_rig.h"
#include "format/status.h"
#include "plugin_loader.h"
#include "stand_in_host.h"
#include "support/status_print.h"
#include "support/yafa_builder.h"
#include "yafa_writer.h"

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
    void SetUp() override { StartHost(10, 0); }
    void TearDown() override;

    // Replaces the host (the plugin, loaded once per process, is initialised
    // again with it).
    void StartHost(int32_t version, int32_t revision = 0) { ASSERT_EQ(robust::Rig().StartHost(version, revision), 1); }

    const host::PluginEntryPoints& api() const { return robust::Rig().api(); }
    host::StandInHost& host() { return robust::Rig().host(); }

    // Serves `file` under a fresh name and returns the name.
    std::string AddFile(Bytes file);
    // Opens `file`; `info` (when given) is passed as it is, else a zeroed
    // record with `flags`.
    AnimPtr Open(Bytes file, int32_t flags = 0, AnimOpenInfo* info = nullptr);

    Frame32 Load32(AnimHandle* anim, int32_t frame, FrameRequest* request = nullptr);
    Frame8 Load8(AnimHandle* anim, int32_t frame, FrameRequest* request = nullptr);
    // Host seeks made by `body`: one per frame decode.
    uint64_t SeeksDuring(const std::function<void()>& body);

    // Why OpenAnim refuses `file` (Ok when it opens it), from the core linked
    // into the test; the module's OpenAnim must agree and leave nothing open.
    Status OpenStatus(Bytes file, int32_t flags = 0);
    // The reason of the module's last failed LoadFrame on `anim`, which the
    // handle keeps for code in the same process.
    static Status LastReason(AnimHandle* anim) { return anim->lastFailure.status; }

private:
    int fileCounter_ = 0;
    std::map<const AnimHandle*, AnimOpenInfo> infos_;  // what OpenAnim said
};

// 0x00RRGGBB of each index.
std::vector<uint32_t> Lookup(std::span<const uint8_t> indices, std::span<const uint32_t> palette);

// A written animation and what each frame must come out as.
struct Written {
    Bytes file;
    std::vector<Bytes> indices;                   // depth 8 or less
    std::vector<std::vector<uint32_t>> palettes;  // 256 colours after decoding each frame
    std::vector<std::vector<uint32_t>> pixels;    // 0x00RRGGBB
};
Written Write(const std::vector<encode::Frame>& frames, const encode::WriterOptions& o);

}  // namespace yafa::test
