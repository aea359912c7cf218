#!/usr/bin/env bash
# Assembles the install tree <root>/{bin,cfg,data,user} from dist/ and the generated sample market.
# Files the user changed in an earlier tree (user/, cfg/) are kept. A tree without market data
# cannot even be browsed offline, so a missing or failing sample market generator fails the
# assembly (exit 1, the reason on stderr) instead of leaving data/ empty.
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 <build dir> <install root>" >&2
  exit 2
fi
build=$1
root=$2
top=$(cd "$(dirname "$0")/.." && pwd)
generator=$build/tools/sample-market/sample-market
if [ ! -x "$generator" ]; then
  echo "assemble-install: no sample market generator at $generator;" \
       "build the target sample-market in $build first" >&2
  exit 1
fi
mkdir -p "$root/bin" "$root/cfg" "$root/data" "$root/user"
cp -rn "$top/dist/." "$root/"
if ! "$generator" "$root"; then
  echo "assemble-install: the sample market generator failed; $root/data holds no market data" >&2
  exit 1
fi
if [ -z "$(ls -A "$root/data")" ]; then
  echo "assemble-install: the sample market generator wrote nothing to $root/data" >&2
  exit 1
fi
if [ -x "$build/src/zuvo" ]; then
  cp -f "$build/src/zuvo" "$root/bin/zuvo"
fi
