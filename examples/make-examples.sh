#!/usr/bin/env bash
# Rebuilds the example animations in this folder: draw_examples draws the
# scenes as PNG frames (and the palette-cycling one as a GIF) into a
# temporary folder, and `yafa pack` makes the animations from them. The same
# tool gives the same files byte for byte.
#
# Usage: examples/make-examples.sh [BUILD_DIR]
#   BUILD_DIR: a configured build folder, relative to the repository root
#   (default build/default, the preset "default").
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
cmake --build "$build" --target yafa draw_examples
frames=$(mktemp -d)
trap 'rm -rf "$frames"' EXIT
"$build/examples/draw_examples" "$frames"
pack() { "$build/yafa" pack --force "$@"; }

# Deltas and storage methods: the bouncing ball (32 colours, so 5 bitplanes),
# word deltas after two key frames, 40 ms a frame; once per method.
for method in raw s404 fast nuke rake; do
  pack "examples/ball_$method.yafa" "$frames/ball" --delta-unit 2 --keyframes two --delay 2 --storage "$method"
done

# True colour: the colour wheel in RGB24, each frame stored with the
# smallest method (--storage auto is the default).
pack examples/wheel_rgb24.yafa "$frames/wheel" --depth 24 --delay 4

# Every other frame of the wheel in HAM6, byte deltas from frame 1 on.
pack examples/wheel_ham6.yafa "$frames"/wheel/frame_{00,02,04,06,08,10,12,14,16,18,20,22}.png \
  --ham6 --keyframes from1 --delay 8

# Palette cycling from a GIF whose colour table turns: chunky deltas with a
# palette in every frame, so only the palettes change; the GIF's delays.
pack examples/cycle_palette.yafa "$frames/cycle.gif" --layout chunky --frame-palette --keyframes from1

ls -l examples/*.yafa
