// A stand-in plugin module for the loader tests: the nine entry points with
// trivial bodies. Built a second time with FAKE_PLUGIN_WITHOUT_LOAD_FRAME to
// give a module that lacks one of them.
#include <cstdlib>

#include "lumivue/host_abi.h"

namespace {
HostBase* gHostBase = nullptr;
}

extern "C" {

__attribute__((visibility("default"))) int32_t InitPlugin(PluginInfo* info, HostBase* host) {
    const int32_t version = info->hostVersion;
    *info = PluginInfo{};
    info->version = 7;
    gHostBase = host;
    if (host && version >= 6) host->coreApi->registerFileType(info, 1, "FAKE TYPE", 0, "fake", 0, 0);
    return 1;
}

__attribute__((visibility("default"))) void ClosePlugin(void) {}
__attribute__((visibility("default"))) const char* GetAnimFormat(void) { return "FAKE"; }
__attribute__((visibility("default"))) uint32_t GetExtensions(uint32_t capability) { return capability + 1; }
__attribute__((visibility("default"))) void FreeFrame(void* frame) { std::free(frame); }

// Opens the file and keeps it as the handle; reports its first byte as the width.
__attribute__((visibility("default"))) AnimHandle* OpenAnim(const char* name, AnimOpenInfo* info) {
    HostFile file = gHostBase->fileApi->open(name, 0);
    if (file) info->width = gHostBase->fileApi->readByte(file);
    return static_cast<AnimHandle*>(file);
}

__attribute__((visibility("default"))) void CloseAnim(AnimHandle* anim) { gHostBase->fileApi->close(anim); }

#ifndef FAKE_PLUGIN_WITHOUT_LOAD_FRAME
__attribute__((visibility("default"))) void* LoadFrame(AnimHandle*, int32_t, FrameRequest*) { return std::malloc(1); }
#endif

__attribute__((visibility("default"))) int32_t GetFrameDelay(AnimHandle*, int32_t frame) { return frame * 10; }
}
