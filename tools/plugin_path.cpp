#include "plugin_path.h"

#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace yafa::tool {

std::string ResolvePluginPath(const std::string& option) {
    if (!option.empty()) return option;
    if (const char* env = std::getenv("YAFA_PLUGIN"); env != nullptr && *env != '\0') return env;
    std::vector<char> buffer(4096);
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    std::string self = n > 0 ? std::string(buffer.data(), static_cast<size_t>(n)) : std::string();
    const size_t slash = self.rfind('/');
    return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/yafa.lvp";
}

}  // namespace yafa::tool
