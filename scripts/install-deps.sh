#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the terminal need, only when missing:
# the last line is what scripts/screenshot.sh runs the terminal with (a virtual X server, the
# window driver that answers its first dialog, the screen grabber, and what Qt's X platform
# plugin needs besides Qt itself). fonts-liberation gives the forms' "Arial" its own metrics, so
# texts laid out at fixed positions fit as designed.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev zlib1g-dev libgtest-dev libgmock-dev
          libbenchmark-dev fonts-wqy-microhei fonts-liberation libasound2-dev libgif-dev xdg-utils
          xvfb xdotool imagemagick libxcb-cursor0 libxkbcommon-x11-0 libxcb-icccm4 libxcb-keysyms1)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run: sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
