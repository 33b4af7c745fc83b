// Marks the nine entry points the host looks up by name. Everything else in
// the module stays hidden.
#pragma once

#include "lumivue/host_abi.h"

#define YAFA_EXPORT extern "C" __attribute__((visibility("default")))
