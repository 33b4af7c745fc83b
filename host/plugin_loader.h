// Loads a Lumivue plugin module the way the host does: dlopen, then the nine
// entry points by name.
#pragma once

#include <memory>
#include <string>

#include "lumivue/host_abi.h"

namespace yafa::host {

struct PluginEntryPoints {
    InitPluginFn InitPlugin;
    ClosePluginFn ClosePlugin;
    GetAnimFormatFn GetAnimFormat;
    GetExtensionsFn GetExtensions;
    FreeFrameFn FreeFrame;
    OpenAnimFn OpenAnim;
    CloseAnimFn CloseAnim;
    LoadFrameFn LoadFrame;
    GetFrameDelayFn GetFrameDelay;
};

class LoadedPlugin {
public:
    // Null on failure, with the reason in *error (when error is not null): the
    // module cannot be loaded, or it lacks one of the nine names. A path
    // without a slash is taken relative to the working directory, not
    // searched for along the library path.
    static std::unique_ptr<LoadedPlugin> Load(const std::string& path, std::string* error);

    const PluginEntryPoints& api() const { return api_; }
    const std::string& path() const { return path_; }

    ~LoadedPlugin();  // dlclose
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

private:
    LoadedPlugin(void* module, const PluginEntryPoints& api, std::string path);

    void* module_;
    PluginEntryPoints api_;
    std::string path_;
};

}  // namespace yafa::host
