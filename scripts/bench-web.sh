#!/usr/bin/env bash
# Playback speed of the bundled examples in the wasm build next to the native
# BM_Play figures, as built (AVX-512 where the CPU has it) and with only the
# portable pixel paths; prints a Markdown table. Run it on an idle machine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-web.sh >/dev/null
cmake --preset default >/dev/null
cmake --build --preset default --target yafa-bench
cmake -S . -B build/portable -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-DYAFA_PORTABLE_PIXELS \
  -DYAFA_BUILD_TESTS=OFF >/dev/null
cmake --build build/portable --target yafa-bench
uptime
exec node web/bench/play.mjs build/web build/default/yafa-bench build/portable/yafa-bench
