// The module-level entry points and the plugin's information record.
#include <cstdlib>

#include "plugin/exports.h"
#include "plugin/host_services.h"

namespace {

constexpr int32_t kCapabilities = 0x20008;
constexpr int32_t kExtensionCapability = 8;
constexpr uint32_t kExtensionFlags = 4;
constexpr int32_t kMinHostVersion = 5;
constexpr int32_t kMinHostRevision = 0;

constexpr char kInfoName[] = "YAFA";
constexpr char kFormatName[] = "YAFA";  // kept apart from the record's name
constexpr char kModuleName[] = "yafa";
constexpr char kAuthor[] = "The yafa.lvp developers";
constexpr char kDescription[] = "Enables Lumivue to load YAFA anims";
constexpr char kLicence[] = "MIT";
constexpr char kUrl[] = "https://yafa-lvp.invalid/";
constexpr char kDate[] = "18.05.23";

// File-type registration came with host 5.3.
bool HostRegistersFileTypes(int32_t version, int32_t revision) {
    return version > 5 || (version == 5 && revision > 2);
}

}  // namespace

YAFA_EXPORT int32_t InitPlugin(PluginInfo* info, HostBase* host) {
    const int32_t hostVersion = info->hostVersion;
    const int32_t hostRevision = info->hostRevision;

    info->capabilities = kCapabilities;
    info->version = 1;
    info->revision = 2;
    info->hostVersion = kMinHostVersion;
    info->hostRevision = kMinHostRevision;
    info->name = kInfoName;
    info->moduleName = kModuleName;
    info->author = kAuthor;
    info->description = kDescription;
    info->licence = kLicence;
    info->url = kUrl;
    info->date = kDate;
    info->word12 = 0;
    info->word13 = 0;

    if (!host) return 1;
    yafa::SetHost(host);
    if (HostRegistersFileTypes(hostVersion, hostRevision)) {
        host->coreApi->registerFileType(info, 1, "IFF YAFA", 0, "yafa", 0, 0);
    }
    return 1;
}

YAFA_EXPORT void ClosePlugin(void) {}

YAFA_EXPORT const char* GetAnimFormat(void) { return kFormatName; }

// An equality test, not a bit test: only the exact capability 8 has flags.
YAFA_EXPORT uint32_t GetExtensions(uint32_t capability) {
    return capability == kExtensionCapability ? kExtensionFlags : 0;
}

YAFA_EXPORT void FreeFrame(void* frame) { std::free(frame); }
