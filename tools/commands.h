// The subcommands of the yafa tool. Each returns the process exit status.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace yafa::tool {

// Frames of more pixels are refused unless --max-pixels says otherwise:
// 2^28 (16384 x 16384), as Pillow's guard against decompression bombs.
constexpr uint64_t kDefaultMaxPixels = uint64_t{1} << 28;

// Options of the commands that decode through the plugin.
struct HostOptions {
    std::string plugin;  // --plugin, may be empty
    int32_t version = 10;
    int32_t revision = 0;
    uint64_t maxPixels = kDefaultMaxPixels;  // 0: no limit
};

struct InfoOptions {
    std::string file;
    bool json = false;
    bool noCheck = false;  // do not decode the frames to find damaged ones
};

struct CheckOptions {
    std::vector<std::string> files;
    bool json = false;
};

struct RawOptions {
    std::string file;
    std::optional<std::string> frames;
    bool indexed = false;
};

struct ExtractOptions {
    std::string file;
    std::string dir;
    std::optional<std::string> frames;
    bool indexed = false;
    bool force = false;
};

struct ConvertOptions {
    std::string file;
    std::string out;
    std::optional<std::string> format;  // "gif" or "webp"; default: the output's extension
    bool force = false;
};

// yafa pack: unset optionals take defaults that suit the pictures.
struct PackCommandOptions {
    std::string out;
    std::vector<std::string> inputs;
    std::optional<std::string> layout;  // "planar" or "chunky"
    std::optional<int> depth;           // 1..8, 15 or 24
    bool delta = false, noDelta = false;
    std::optional<int> deltaUnit;           // 1, 2 or 4
    std::optional<std::string> keyFrames;   // two, from1, from0, from01
    std::string storage = "auto";
    std::optional<int> delayTicks;
    std::optional<int> delayMs;
    bool framePalette = false;
    bool quantize = false;
    bool ham6 = false, ham8 = false;
    bool stats = false;
    bool force = false;
    uint64_t maxPixels = kDefaultMaxPixels;  // 0: no limit
};

int RunInfo(const HostOptions& host, const InfoOptions& options);
// Decodes every frame of each file with the decoder core in process; only
// host.maxPixels applies.
int RunCheck(const HostOptions& host, const CheckOptions& options);
int RunRaw(const HostOptions& host, const RawOptions& options);
int RunExtract(const HostOptions& host, const ExtractOptions& options);
int RunConvert(const HostOptions& host, const ConvertOptions& options);
int RunPack(const PackCommandOptions& options);
// Prints the tool's version and the plugin's; 1 when no plugin is found.
int RunVersion(const HostOptions& host);

}  // namespace yafa::tool
