#!/usr/bin/env bash
# Regenerates the fuzzers' seed corpora: OUTDIR/<target>/seed_NNNN for every
# fuzz target (default OUTDIR: build/fuzz/corpus), made by our own packers and
# writer, plus the reference animations of tests/vectors as plugin seeds.
# The fuzz build (build/fuzz, or $YAFA_FUZZ_BUILD) is configured and the
# generator built as needed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${YAFA_FUZZ_BUILD:-build/fuzz}
out=${1:-$build/corpus}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset fuzz -B "$build" >/dev/null
fi
cmake --build "$build" --target yafa_fuzz_seeds >/dev/null
rm -rf "$out"
"$build/fuzz/yafa_fuzz_seeds" "$out" tests/vectors
for dir in "$out"/*/; do
  printf '%-22s %4d seeds\n' "$(basename "$dir")" "$(find "$dir" -type f | wc -l)"
done
