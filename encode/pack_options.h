// Settings shared by the packers.
#pragma once

#include <cstdint>

namespace yafa::encode {

struct PackOptions {
    // Use every code kind and boundary of the method (longest and shortest
    // matches, overlapping copies, farthest distances, long literal runs...)
    // even where a plain packer would not, so that tests reach every branch
    // of the decoder. The output still unpacks to the same bytes.
    bool stress = false;
    // Seeds the stress choices, so that runs are repeatable.
    uint32_t seed = 1;
};

}  // namespace yafa::encode
