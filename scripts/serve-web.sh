#!/usr/bin/env bash
# Serves the repository on 127.0.0.1 (port $1, default 8000) and prints the
# URL of the player's page. Build it first: scripts/build-web.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
[[ -f build/web/yafa.wasm ]] || echo "serve-web: build/web has no player yet; run scripts/build-web.sh" >&2
exec node web/serve.mjs . "${1:-8000}"
