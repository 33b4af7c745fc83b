#!/usr/bin/env bash
# Builds the browser player and runs its tests in Debian's Chromium, against
# the native yafa tool's output.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-web.sh
[[ -f build/default/build.ninja ]] || cmake --preset default
cmake --build --preset default --target yafa
# puppeteer-core, as the committed lock file pins it; it brings no browser.
[[ web/test/node_modules/.package-lock.json -nt web/test/package-lock.json ]] ||
  npm ci --prefix web/test --no-audit --no-fund
ctest --preset web
