// Bitplanes to one byte per pixel.
#pragma once

#include <cstdint>

namespace yafa {

// Converts `planes` bitplanes (plane p supplies bit p; each plane `height`
// rows of `rowBytes` bytes, the leftmost pixel in a byte's top bit) into
// `width` × `height` bytes at `pixels`, writing every pixel. Planes 8 and
// above add nothing to a byte and are not read.
void PlanarToChunky(const uint8_t* planar, uint32_t planeBytes, uint32_t planes, uint32_t width, uint32_t height,
                    uint32_t rowBytes, uint8_t* pixels) noexcept;

}  // namespace yafa
