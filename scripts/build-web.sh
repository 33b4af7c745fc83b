#!/usr/bin/env bash
# Builds the browser player into build/web: index.html, the <yafa-player>
# module and its worker, yafa.wasm, type declarations and package.json (the
# folder is the npm package: npm pack ./build/web).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset web
cmake --build --preset web
