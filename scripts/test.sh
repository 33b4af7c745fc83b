#!/usr/bin/env bash
# Builds and runs every test: the optimised build, then the same tests under
# AddressSanitizer + UndefinedBehaviorSanitizer; both with -Wshadow
# -Wconversion and warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
for preset in default asan; do
  cmake --preset "$preset" -DYAFA_STRICT_WARNINGS=ON -DYAFA_WERROR=ON
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
# A short run of every fuzz target (about 20 s each) on corpora our own
# packers and writer make; see fuzz/README.md for long runs.
scripts/fuzz-smoke.sh
# The browser player: the wasm build and its tests in Chromium.
scripts/test-web.sh
