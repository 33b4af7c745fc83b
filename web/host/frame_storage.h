// How each frame of an open animation is stored, for the player's info
// panel: placed where the decoder places it (format/geometry.h), from what
// it read of the file's chunks into the handle, and named as `yafa info`
// names it (format/storage_name.h).
#pragma once

#include <string>

#include "anim/anim_handle.h"
#include "lumivue/host_abi.h"

namespace yafa::web {

// Every frame's storage, comma-separated: "raw", "S404", "XPK-FAST", ...,
// or "missing" for a frame that lies past the end of the file. Reads the
// first bytes of every frame of `name` through the host's file services.
std::string FrameStorageList(const AnimHandle& anim, const HostFileApi& files, const char* name);

}  // namespace yafa::web
