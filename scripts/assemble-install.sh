#!/usr/bin/env bash
# Assembles the install tree <root>/{bin,cfg,data,user} from dist/ and the generated sample market,
# then writes the default page cfg/Default.ppg over that market (tools/default-page) and copies
# the terminal (build/src/zuvo) into bin/ when they are built.
# Files the user changed in an earlier tree (user/, cfg/) are kept; the default page, which the
# terminal never writes, is made anew. A tree without market data cannot even be browsed
# offline, so a missing or failing sample market generator fails the assembly (exit 1, the
# reason on stderr) instead of leaving data/ empty; so does a default page generator that fails.
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 <build dir> <install root>" >&2
  exit 2
fi
# Both absolute: the default page generator runs inside <root>/bin.
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
build=$(absolute "$1")
root=$(absolute "$2")
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
pager=$build/tools/default-page/default-page
if [ -x "$pager" ]; then
  if ! (cd "$root/bin" && "$pager" "$root"); then
    echo "assemble-install: the default page generator failed; $root/cfg/Default.ppg was not written" >&2
    exit 1
  fi
else
  echo "assemble-install: no default page generator at $pager; the terminal starts on a page of one quote list"
fi
if [ -x "$build/src/zuvo" ]; then
  cp -f "$build/src/zuvo" "$root/bin/zuvo"
fi
