#!/usr/bin/env bash
# Installs every Debian package that building and testing the project needs.
# Quick no-op when all of them are present already. Needs root (or sudo).
set -euo pipefail

packages=(
  cmake ninja-build pkg-config g++ clang libclang-rt-14-dev python3
  libgtest-dev libbenchmark-dev zlib1g-dev
  libpng-dev libgif-dev libimagequant-dev libcli11-dev nlohmann-json3-dev libwebp-dev
  webp gifsicle python3-pil
)
# The browser player: Debian's emscripten (its system libraries come built in
# its cache) and Chromium for the browser tests; Node.js and npm run both.
packages+=(emscripten chromium)
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [[ "$status" == installed ]] || missing+=("$p")
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "install-deps: need root to install: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
