#include "plugin/core_api.h"

#include <cstdlib>

#include "anim/parser.h"
#include "io/host_services.h"

namespace yafa {

Status OpenAnimation(const char* name, AnimOpenInfo& info, AnimHandle** anim) noexcept {
    *anim = nullptr;
    auto* handle = static_cast<AnimHandle*>(std::calloc(1, sizeof(AnimHandle)));
    YAFA_CHECK(handle, OutOfMemory);

    const int32_t hostVersion = Host()->version;
    const uint32_t tag1Data = hostVersion > 5 ? info.openTag1Data : 0;
    const uint32_t tag6Data = hostVersion > 9 ? info.openTag6Data : 0;
    handle->file = HostOpen(name, 0, tag1Data, tag6Data);
    if (!handle->file) {
        std::free(handle);
        return Status::CannotOpenFile;
    }
    HostFileSource source(handle->file);
    const Status status = ReadAnimHeader(*handle, source, (info.flags & ANIM_REQUEST_INDEXED) != 0);
    if (status != Status::Ok) {
        FreeAnimTables(*handle);
        HostClose(handle->file);
        std::free(handle);
        return status;
    }

    info.width = handle->width;
    info.height = handle->height;
    info.frameCount = handle->frameCount;
    info.word4 = 0;
    info.word5 = 0;
    if (hostVersion > 8) info.depth = handle->depth;
    *anim = handle;
    return Status::Ok;
}

void CloseAnimation(AnimHandle* anim) noexcept {
    HostClose(anim->file);
    FreeAnimTables(*anim);
    std::free(anim);
}

}  // namespace yafa
