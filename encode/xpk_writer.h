// Writer of XPK containers around FAST, NUKE or RAKE chunks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "pack_options.h"

namespace yafa::encode {

enum class XpkMethod { Fast, Nuke, Rake };

struct XpkOptions {
    XpkMethod method = XpkMethod::Nuke;
    PackOptions pack;               // passed to the method packer
    uint32_t chunkSize = 0x8000;    // unpacked bytes per chunk (the last may be shorter)
    bool longHeaders = false;       // 32-bit chunk lengths; forced on when a length needs it
    std::optional<std::vector<uint8_t>> extraHeader;  // written with its 16-bit length when present
    // Chunks whose packed form is not smaller are stored raw. With
    // mixRawChunks, every other chunk is stored raw regardless.
    bool mixRawChunks = false;
};

// Returns a whole stored frame: the "XPKF" tag, the stream header, the
// chunks and the end chunk, which unpacks to exactly `data`.
std::vector<uint8_t> PackXpk(std::span<const uint8_t> data, const XpkOptions& options);

}  // namespace yafa::encode
