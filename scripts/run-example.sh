#!/usr/bin/env bash
# The main job on a bundled sample: sets up, builds the optimised plugin and
# tool, shows what the animation holds and turns it into an animated GIF.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default
cmake --build --preset default
build/default/yafa info examples/ball_nuke.yafa
build/default/yafa convert examples/ball_nuke.yafa build/ball_nuke.gif
echo "wrote build/ball_nuke.gif"
