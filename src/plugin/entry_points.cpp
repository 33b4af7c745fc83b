// The nine entry points and the plugin's information record. Each is a thin
// wrapper around the core (plugin/core_api.h): failures reach the host only
// as null or 0, their reasons stay in the handle.
#include <cstdlib>

#include "io/host_services.h"
#include "plugin/core_api.h"
#include "plugin/exports.h"

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

YAFA_EXPORT AnimHandle* OpenAnim(const char* name, AnimOpenInfo* info) {
    AnimHandle* anim = nullptr;
    return yafa::OpenAnimation(name, *info, &anim) == yafa::Status::Ok ? anim : nullptr;
}

YAFA_EXPORT void CloseAnim(AnimHandle* anim) { yafa::CloseAnimation(anim); }

YAFA_EXPORT void* LoadFrame(AnimHandle* anim, int32_t frame, FrameRequest* request) {
    yafa::FrameOutput output;
    output.bytesPerPixel = (request->flags & ANIM_REQUEST_INDEXED) ? 1 : 4;
    if (yafa::PlayFrame(*anim, frame, &output, nullptr) != yafa::Status::Ok) return nullptr;
    if (yafa::Host()->version > 8) {
        request->depth = anim->depth;
        if (output.bytesPerPixel == 1) request->palette = anim->palette;
    }
    return output.pixels.release();
}

YAFA_EXPORT int32_t GetFrameDelay(AnimHandle* anim, int32_t frame) { return yafa::FrameDelayMs(*anim, frame); }
