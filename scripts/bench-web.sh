#!/usr/bin/env bash
# Playback speed of the bundled examples in the wasm build next to the native
# BM_Play figures; prints a Markdown table. Run it on an idle machine.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null && cmake --build --preset default --target yafa-bench
scripts/build-web.sh >/dev/null
uptime
exec node web/bench/play.mjs build/web build/default/yafa-bench
