// The table that yafa pack --stats prints.
#pragma once

#include <string>

#include "yafa_writer.h"

namespace yafa::tool {

// Per frame: whole or delta, the unpacked size (palette tail included), the
// stored size with each method tried, the method kept, its stored size and
// the time the packing took; then the totals, how often each method was
// kept, and the file size. A method's total is given only when it was tried
// on every frame. Sizes are plain byte counts, so scripts can read them.
std::string FormatPackStats(const encode::WriteStats& stats, const encode::WriterOptions& options, double readSeconds,
                            double packSeconds);

}  // namespace yafa::tool
