// What a YAFA file says about itself beyond what the plugin reports: its
// frame format, its INFO flags, and how each frame is stored. Read through
// the host's own file services, for the player's info panel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lumivue/host_abi.h"

namespace yafa::web {

struct FileLayout {
    int32_t frameFormat = 0;
    int32_t flags = 0;
    // Per frame: "raw", "S404", "XPK-FAST", "XPK-NUKE", "XPK-RAKE", another
    // "XPK-<method>", or "missing" when the frame lies past the end of the file.
    std::vector<std::string> storage;
};

// Walks the chunks of `name` up to BODY the way the plugin does and looks at
// the first bytes of every frame. Meant for files the plugin has opened;
// frames it cannot place are "missing".
FileLayout ReadFileLayout(const HostFileApi& files, const char* name);

}  // namespace yafa::web
