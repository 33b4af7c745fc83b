#include "plugin_path.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "plugin_loader.h"
#include "stand_in_host.h"

namespace yafa::tool {
namespace {

std::string ProgramFolder() {
    std::string buffer(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return ".";
    buffer.resize(static_cast<size_t>(n));
    const size_t slash = buffer.rfind('/');
    return slash == std::string::npos ? "." : buffer.substr(0, slash);
}

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

}  // namespace

PluginChoice ChoosePlugin(const std::string& option) {
    if (!option.empty()) return {option, {}};
    if (const char* env = std::getenv("YAFA_PLUGIN"); env != nullptr && *env != '\0') return {env, {}};
    const std::string folder = ProgramFolder();
    std::vector<std::string> candidates = {folder + "/yafa.lvp", folder + "/../lib/yafa/yafa.lvp"};
#ifdef YAFA_INSTALLED_PLUGIN
    candidates.push_back(YAFA_INSTALLED_PLUGIN);
#endif
    for (std::string& candidate : candidates) {
        candidate = std::filesystem::path(candidate).lexically_normal().string();
        if (Exists(candidate)) return {candidate, {}};
    }
    return {candidates.front(), candidates};
}

std::string PluginVersion(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read " + path;
        return {};
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    static constexpr char kTag[] = "$VER: ";
    if (const size_t at = bytes.find(kTag); at != std::string::npos) {
        const size_t start = at + sizeof kTag - 1;
        const size_t end = bytes.find('\0', start);
        return bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    // No tag: what the module tells a host.
    host::StandInHost host;  // outlives the module it is given
    auto plugin = host::LoadedPlugin::Load(path, error);
    if (!plugin) return {};
    PluginInfo info = host.initInfo();
    plugin->api().InitPlugin(&info, host.base());
    std::string version = std::string(info.moduleName ? info.moduleName : "plugin") + " " +
                          std::to_string(info.version) + "." + std::to_string(info.revision);
    if (info.date) version += std::string(" (") + info.date + ")";
    plugin->api().ClosePlugin();
    return version;
}

}  // namespace yafa::tool
