// Which plugin module the tool loads, and what version it is.
#pragma once

#include <string>
#include <vector>

namespace yafa::tool {

struct PluginChoice {
    std::string path;                // the module to load
    std::vector<std::string> tried;  // the places looked at, when none held a module
};

// The --plugin value when given, else $YAFA_PLUGIN when set and not empty,
// else the first of these that exists: yafa.lvp beside the running program
// (a build folder), ../lib/yafa/yafa.lvp from it (an installed tree), and
// lib/yafa/yafa.lvp under the prefix the build was configured to install to
// (a copy of the program moved elsewhere). When none exists, `path` is the
// first and `tried` lists them all.
PluginChoice ChoosePlugin(const std::string& option);

// "yafa.lvp 1.2 (18.05.23) [Linux]": the module's version tag (its "$VER: "
// text), else what its InitPlugin reports. Empty with a reason on failure.
std::string PluginVersion(const std::string& path, std::string* error);

}  // namespace yafa::tool
