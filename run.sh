#!/usr/bin/env bash
# Installs what is missing, builds a Release build, assembles the install tree (with the sample
# market and the default page), then starts the local quote server and the terminal in the
# tree's bin/ folder; the server stops when the terminal exits. Without a display the terminal
# cannot open its window: the script says so and starts neither (scripts/screenshot.sh runs
# both on a virtual screen).
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
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # A server left running here would serve no one and hold the ports the screenshot script needs.
  echo "run.sh: no display (neither DISPLAY nor WAYLAND_DISPLAY is set), so the terminal and the local" \
       "quote server are not started. scripts/screenshot.sh runs both on a virtual screen and writes" \
       "build/screenshot.png." >&2
  exit 0
fi
# The local quote server (bin/SERVER.INI names it) in the background, then the terminal in
# bin/; the server stops when the terminal exits (without a built terminal it stays running
# and the script says how to stop it).
./scripts/start-quote-server.sh start "$build/tools/quote-server/quote-server" "$root" "$root/bin/zuvo"
