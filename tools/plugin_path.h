// Which plugin module the tool loads.
#pragma once

#include <string>

namespace yafa::tool {

// The --plugin value when given, else $YAFA_PLUGIN when set and not empty,
// else yafa.lvp beside the running executable.
std::string ResolvePluginPath(const std::string& option);

}  // namespace yafa::tool
