// Packer for the S404 method.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "pack_options.h"

namespace yafa::encode {

// Returns a whole stored frame: the "S404" tag, the 12-byte header and the
// packed data, which unpacks to exactly `data`.
std::vector<uint8_t> PackS404(std::span<const uint8_t> data, const PackOptions& options = {});

}  // namespace yafa::encode
