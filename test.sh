#!/usr/bin/env bash
# Installs what is missing, builds a Debug build with sanitizers and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
build=build/debug
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZUVO_SANITIZE=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
