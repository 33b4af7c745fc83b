#include "host/frame_storage.h"

#include <climits>

#include "format/geometry.h"
#include "format/storage_name.h"

namespace yafa::web {

std::string FrameStorageList(const AnimHandle& anim, const HostFileApi& files, const char* name) {
    std::string list;
    const HostFile file = files.open(name, 0);
    for (int32_t i = 0; i < anim.frameCount; ++i) {
        const FrameLocation place = LocateFrame(anim.frameOffsets, anim.frameStride, uint32_t(i));
        const uint64_t start = uint64_t(uint32_t(anim.bodyStart)) + place.start;
        uint8_t head[kStorageHeadBytes];
        int32_t got = 0;
        if (file && start <= INT32_MAX && files.seek(file, int32_t(start), HOST_SEEK_START) >= 0)
            got = files.read(file, head, int32_t(sizeof head));
        if (i) list += ',';
        list += NameStorage(head, got > 0 ? size_t(got) : 0).text;
    }
    if (file) files.close(file);
    return list;
}

}  // namespace yafa::web
