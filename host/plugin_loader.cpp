#include "plugin_loader.h"

#include <dlfcn.h>

#include <utility>

namespace yafa::host {
namespace {

template <typename Fn>
bool Resolve(void* module, const char* name, Fn* slot, std::string* missing) {
    void* symbol = ::dlsym(module, name);
    if (symbol == nullptr) {
        if (!missing->empty()) *missing += ", ";
        *missing += name;
        return false;
    }
    *slot = reinterpret_cast<Fn>(symbol);
    return true;
}

}  // namespace

std::unique_ptr<LoadedPlugin> LoadedPlugin::Load(const std::string& path, std::string* error) {
    std::string scratch;
    if (error == nullptr) error = &scratch;
    error->clear();
    // dlopen searches the library path for a bare name; a plugin is a file.
    const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    void* module = ::dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* why = ::dlerror();
        *error = "cannot load plugin " + path + ": " + (why ? why : "unknown error");
        return nullptr;
    }
    PluginEntryPoints api{};
    std::string missing;
    bool ok = true;
    ok &= Resolve(module, "InitPlugin", &api.InitPlugin, &missing);
    ok &= Resolve(module, "ClosePlugin", &api.ClosePlugin, &missing);
    ok &= Resolve(module, "GetAnimFormat", &api.GetAnimFormat, &missing);
    ok &= Resolve(module, "GetExtensions", &api.GetExtensions, &missing);
    ok &= Resolve(module, "FreeFrame", &api.FreeFrame, &missing);
    ok &= Resolve(module, "OpenAnim", &api.OpenAnim, &missing);
    ok &= Resolve(module, "CloseAnim", &api.CloseAnim, &missing);
    ok &= Resolve(module, "LoadFrame", &api.LoadFrame, &missing);
    ok &= Resolve(module, "GetFrameDelay", &api.GetFrameDelay, &missing);
    if (!ok) {
        ::dlclose(module);
        *error = "plugin " + path + " lacks the entry point(s) " + missing;
        return nullptr;
    }
    return std::unique_ptr<LoadedPlugin>(new LoadedPlugin(module, api, path));
}

LoadedPlugin::LoadedPlugin(void* module, const PluginEntryPoints& api, std::string path)
    : module_(module), api_(api), path_(std::move(path)) {}

LoadedPlugin::~LoadedPlugin() { ::dlclose(module_); }

}  // namespace yafa::host
