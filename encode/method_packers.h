// Packers for the three XPK methods. Each packs one chunk: the bytes
// stream[chunkStart, chunkStart + chunkLength), where stream[0, chunkStart)
// is the output of the stream's earlier chunks (FAST and NUKE may refer back
// into it; RAKE never does). Each returns the chunk payload of PL bytes,
// not yet padded to a multiple of 4, or nothing when the method cannot
// hold the chunk (the writer then stores it raw).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "pack_options.h"

namespace yafa::encode {

std::vector<uint8_t> PackFastChunk(std::span<const uint8_t> stream, size_t chunkStart, size_t chunkLength,
                                   const PackOptions& options = {});
std::vector<uint8_t> PackNukeChunk(std::span<const uint8_t> stream, size_t chunkStart, size_t chunkLength,
                                   const PackOptions& options = {});
std::vector<uint8_t> PackRakeChunk(std::span<const uint8_t> stream, size_t chunkStart, size_t chunkLength,
                                   const PackOptions& options = {});

}  // namespace yafa::encode
