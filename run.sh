#!/usr/bin/env bash
# Installs what is missing, builds a Release build and assembles the install tree (the terminal
# has no window yet, so nothing is started).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZUVO_BUILD_TESTS=OFF -DZUVO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)"
root=$PWD/build/install
./scripts/assemble-install.sh "$build" "$root"
echo "Install tree ready: $root"
