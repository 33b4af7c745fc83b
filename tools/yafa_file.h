// The tool's own reading of a YAFA file's layout: the chunks before BODY,
// where each frame is stored and how it is packed. The plugin decodes; this
// only tells what the file holds, for `yafa info` and for error messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "yafa/info_flags.h"

namespace yafa::tool {

struct YafaLayout {
    // INFO, all 0 when the file has none before BODY.
    uint16_t width = 0, height = 0, depth = 0, defaultDelay = 0, frameCount = 0, frameFormat = 0, flags = 0;
    bool hasInfo = false;
    std::vector<uint32_t> frameEnds;  // PROF: end of frame i, counted from bodyStart
    bool hasProf = false;
    bool hasTtbl = false;
    uint32_t ttblEntries = 0;
    int32_t drgbColours = -1;  // -1 without DRGB
    uint64_t bodyStart = 0;
    uint64_t frameSize = 0;      // stride of frames without PROF; 0 when not derived
    uint64_t maxFrameBytes = 0;  // bound on any unpacked frame, as the plugin derives it
    uint64_t fileSize = 0;
};

struct FrameStorage {
    uint64_t offset = 0;  // in the file
    int64_t length = -1;  // stored bytes, -1 when the file does not say
    std::string method;   // "raw", "S404", "XPK-FAST", ...; "missing" past the end of the file (format/storage_name.h)
};

// Reads the chunks up to BODY the way the plugin does. Nullopt with a reason
// when the file cannot be read, is not a FORM of type YAFA, has no BODY, or
// has a table the plugin would refuse.
std::optional<YafaLayout> ReadYafaLayout(const std::string& path, std::string* error);

// Where frame `index` lies and what its first bytes say about its packing.
std::vector<FrameStorage> ReadFrameStorage(const std::string& path, const YafaLayout& layout);

std::vector<std::string> FlagNames(uint16_t flags);
std::string FrameFormatName(uint16_t format);

}  // namespace yafa::tool
