// yafa --version: the tool's version, and the version tag of the plugin it
// would load, with where that is.
#include <cstdio>

#include "commands.h"
#include "messages.h"
#include "plugin_path.h"

namespace yafa::tool {

int RunVersion(const HostOptions& host) {
    std::printf("yafa %s\n", YAFA_TOOL_VERSION);
    const PluginChoice plugin = ChoosePlugin(host.plugin);
    std::string error;
    const std::string version = plugin.tried.empty() ? PluginVersion(plugin.path, &error) : std::string();
    if (!version.empty()) {
        std::printf("plugin %s (%s)\n", version.c_str(), plugin.path.c_str());
        return kExitOk;
    }
    std::string where;
    for (const std::string& place : plugin.tried) where += (where.empty() ? "" : ", ") + place;
    std::printf("plugin not found (%s)\n", plugin.tried.empty() ? error.c_str() : ("looked at " + where).c_str());
    return kExitOpen;
}

}  // namespace yafa::tool
