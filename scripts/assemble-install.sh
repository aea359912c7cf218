#!/usr/bin/env bash
# Assembles the install tree <root>/{bin,cfg,data,user} from dist/ and the generated sample market.
# Files the user changed in an earlier tree (user/, cfg/) are kept.
set -euo pipefail
build=$1
root=$2
top=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$root/bin" "$root/cfg" "$root/data" "$root/user"
cp -rn "$top/dist/." "$root/"
if [ -x "$build/tools/sample-market/sample-market" ]; then
  "$build/tools/sample-market/sample-market" "$root"
fi
if [ -x "$build/src/zuvo" ]; then
  cp -f "$build/src/zuvo" "$root/bin/zuvo"
fi
