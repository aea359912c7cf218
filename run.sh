#!/usr/bin/env bash
# Installs what is missing, builds a Release build, assembles the install tree and starts the
# local quote server as the terminal's default server (and the terminal, once it exists).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZUVO_BUILD_TESTS=OFF -DZUVO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)"
root=$PWD/build/install
if ! ./scripts/assemble-install.sh "$build" "$root"; then
  echo "run.sh: the install tree at $root is not ready (see the message above)" >&2
  exit 1
fi
echo "Install tree ready: $root"
# The local quote server (bin/SERVER.INI names it): in the background until the terminal exits;
# without the terminal it stays running and the script says how to stop it.
./scripts/start-quote-server.sh start "$build/tools/quote-server/quote-server" "$root" "$root/bin/zuvo"
