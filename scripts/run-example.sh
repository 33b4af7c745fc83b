#!/usr/bin/env bash
# The main job on a bundled sample: sets up, builds the optimised plugin and
# tool (nothing else), shows what the animation holds and turns it into an
# animated GIF and a lossless animated WebP.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default
cmake --build --preset default --target yafa
build/default/yafa info examples/ball_nuke.yafa
build/default/yafa convert --force examples/ball_nuke.yafa build/ball_nuke.gif
build/default/yafa convert --force examples/ball_nuke.yafa build/ball_nuke.webp
echo "wrote build/ball_nuke.gif and build/ball_nuke.webp"
