#!/usr/bin/env bash
# Prints the export size table of the bundled examples as Markdown: the
# YAFA file, `yafa convert` to GIF and to WebP, and what gifsicle -O3 (the
# usual GIF optimiser) makes of a reference GIF, with our GIF's size as a
# multiple of it. The reference is our own GIF unless REFERENCE_YAFA names
# another build of the tool (e.g. an older one, whose GIFs were written
# whole, frame by frame).
#
# Usage: examples/export-sizes.sh [BUILD_DIR] [REFERENCE_YAFA]
#   BUILD_DIR: a configured build folder (default build/default).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
reference=${2:-$build/yafa}
cmake --build "$build" --target yafa >/dev/null
command -v gifsicle >/dev/null || { echo "export-sizes: needs gifsicle" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
size() { stat -c %s "$1"; }
grouped() { echo "$1" | sed -e ':a' -e 's/\B[0-9]\{3\}\>/,&/' -e 'ta'; }

echo "| Example | YAFA | GIF | Reference GIF | gifsicle -O3 of it | GIF / gifsicle | WebP (lossless) |"
echo "|---|---:|---:|---:|---:|---:|---:|"
for file in examples/*.yafa; do
  name=$(basename "$file" .yafa)
  "$build/yafa" convert --quiet "$file" "$work/$name.gif"
  "$build/yafa" convert --quiet "$file" "$work/$name.webp"
  "$reference" convert "$file" "$work/$name.reference.gif" >/dev/null 2>&1
  gifsicle -O3 "$work/$name.reference.gif" >"$work/$name.O3.gif" 2>/dev/null
  gif=$(size "$work/$name.gif") o3=$(size "$work/$name.O3.gif")
  printf "| \`%s\` | %s | %s | %s | %s | %.2f | %s |\n" "$name" "$(grouped "$(size "$file")")" \
    "$(grouped "$gif")" "$(grouped "$(size "$work/$name.reference.gif")")" "$(grouped "$o3")" \
    "$(awk "BEGIN { print $gif / $o3 }")" "$(grouped "$(size "$work/$name.webp")")"
done
