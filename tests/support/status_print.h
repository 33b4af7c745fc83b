// GoogleTest prints a Status as its phrase.
#pragma once

#include <ostream>

#include "format/status.h"

namespace yafa {
inline void PrintTo(Status status, std::ostream* os) { *os << '"' << StatusPhrase(status) << '"'; }
}  // namespace yafa
