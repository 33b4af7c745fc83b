// Inputs for the packer round trips, of the shapes that reach different
// parts of the packing methods. Deterministic for a given seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace yafa::test {

enum class Shape {
    Noise,     // random bytes
    Runs,      // runs of 1..40 bytes of four values
    LongRuns,  // runs of up to 600 bytes, one in eight of 19000 and more
    Text,      // words from a small vocabulary
    Repeats,   // a 4095-byte block repeated with a few changes
    Image,     // 320-byte rows: gradients, repeats of the row above, noise
    Blocks,    // blocks copied from near and far back, some long
};
constexpr Shape kAllShapes[] = {Shape::Noise,   Shape::Runs,  Shape::LongRuns, Shape::Text,
                                Shape::Repeats, Shape::Image, Shape::Blocks};

std::vector<uint8_t> SampleData(Shape shape, size_t size, uint32_t seed);

}  // namespace yafa::test
