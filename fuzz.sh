#!/usr/bin/env bash
# ./fuzz.sh [TARGET|all] [SECONDS]
# Installs what fuzzing needs (AFL++ with its GCC plugin, as root; otherwise prints the
# command), builds the fuzz targets of fuzz/ with afl-g++-fast and AddressSanitizer in
# build/fuzz-afl, and fuzzes one target, or every target one after the other (no TARGET, or
# "all"), for SECONDS each (600 by default). Seeds come from fuzz/seeds, the generated sample market and the shipped
# settings, and every kept finding. At the end it prints per target the executions, the
# coverage (edges found, bitmap) and the crashes and hangs; each crashing or hanging input is
# copied to fuzz/regressions/<target>/, where ./test.sh replays it.
set -euo pipefail
cd "$(dirname "$0")"
repository=$(pwd)

wanted="${1:-}"
[ "$wanted" = all ] && wanted=""
seconds="${2:-600}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: ./fuzz.sh [TARGET|all] [SECONDS]" >&2
  exit 2
fi

# ---- Dependencies ---------------------------------------------------------------------------
./scripts/install-deps.sh
gcc_major=$(gcc -dumpversion | cut -d. -f1)
packages=(afl++ "gcc-${gcc_major}-plugin-dev")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Run: sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build=build/fuzz-afl
mkdir -p "$build"

# ---- The compiler ---------------------------------------------------------------------------
# The sources are compiled with -fexec-charset=GB18030, which clang refuses: AFL++'s GCC plugin
# instruments them. The packaged plugin refuses a GCC of another point release than the one it
# was built against; then a small shim plugin (fuzz/tools/AflGccPluginShim.c) loads it.
probe_dir="$build/probe"
mkdir -p "$probe_dir"
printf 'int main(void) { return 0; }\n' > "$probe_dir/probe.c"
probe() { afl-gcc-fast "$probe_dir/probe.c" -o "$probe_dir/probe" > "$probe_dir/log" 2>&1; }
if ! AFL_QUIET=1 probe; then
  if ! grep -q "incompatible versions" "$probe_dir/log"; then
    cat "$probe_dir/log" >&2
    echo "afl-gcc-fast cannot compile; see above" >&2
    exit 1
  fi
  afl_lib="$(dirname "$(readlink -f "$(command -v afl-cc)")")/../lib/afl"
  afl_lib=$(readlink -f "$afl_lib")
  shim_dir="$repository/$build/afl-path"
  rm -rf "$shim_dir"
  mkdir -p "$shim_dir"
  for f in "$afl_lib"/*; do ln -s "$f" "$shim_dir/"; done
  rm -f "$shim_dir/afl-gcc-pass.so"
  gcc -shared -fPIC -O2 -DREAL_PLUGIN="\"$afl_lib/afl-gcc-pass.so\"" fuzz/tools/AflGccPluginShim.c \
      -o "$shim_dir/afl-gcc-pass.so" -ldl
  export AFL_PATH="$shim_dir"
  if ! AFL_QUIET=1 probe; then
    cat "$probe_dir/log" >&2
    echo "afl-gcc-fast cannot compile even through the plugin shim; see above" >&2
    exit 1
  fi
fi

# ---- Build ----------------------------------------------------------------------------------
# -O1 with debug information and assertions kept (no NDEBUG); ASan and UBSan abort on a fault.
export AFL_QUIET=1
CC=afl-gcc-fast CXX=afl-g++-fast cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=FuzzAfl -DCMAKE_C_FLAGS_FUZZAFL="-O1 -g" -DCMAKE_CXX_FLAGS_FUZZAFL="-O1 -g" \
  -DZUVO_SANITIZE=ON -DZUVO_BUILD_TESTS=ON -DZUVO_BUILD_BENCH=OFF -DZUVO_FUZZ_AFL=ON > "$build/configure.log"
mapfile -t targets < <(sed -n 's/^set(ZUVO_FUZZ_TARGETS \(.*\))$/\1/p' fuzz/CMakeLists.txt | tr ' ' '\n')
if [ -n "$wanted" ]; then
  found=0
  for t in "${targets[@]}"; do [ "$t" = "$wanted" ] && found=1; done
  if [ $found -eq 0 ]; then
    echo "no fuzz target named $wanted; targets: ${targets[*]}" >&2
    exit 2
  fi
  targets=("$wanted")
fi
build_targets=(fuzz_seeds sample-market)
for t in "${targets[@]}"; do build_targets+=("fuzz_afl_$t"); done
cmake --build "$build" --parallel "$(nproc)" --target "${build_targets[@]}"
unset AFL_QUIET

# ---- Seeds ----------------------------------------------------------------------------------
work=$(mktemp -d)
sandbox_parent=/dev/shm
[ -w /dev/shm ] || sandbox_parent="$work"
export ZUVO_FUZZ_TMP="$sandbox_parent/zuvo-fuzz-$$"
trap 'rm -rf "$work" "$ZUVO_FUZZ_TMP"' EXIT
"$build/tools/sample-market/sample-market" "$work/sample" > /dev/null
"$build/fuzz/fuzz_seeds" "$work/seeds" "$work/sample" "$repository"

# ---- Fuzzing --------------------------------------------------------------------------------
export AFL_SKIP_CPUFREQ=1 AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES=1 AFL_SKIP_CRASHES=1 AFL_NO_UI=1
export QT_QPA_PLATFORM=offscreen
# afl-fuzz sets the sanitizer options it needs (abort on error, no leak check, no symbols).
unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS

stat_of() { sed -n "s/^$1 *: *//p" "$2" 2>/dev/null | head -n 1; }

summary=()
failed=0
for t in "${targets[@]}"; do
  corpus="$work/corpus/$t"
  out="$build/out/$t"
  mkdir -p "$corpus"
  for from in "fuzz/seeds/$t" "fuzz/regressions/$t" "fuzz/pending/$t" "$work/seeds/$t"; do
    [ -d "$from" ] || continue
    find "$from" -type f ! -name '.*' ! -name 'README*' -exec cp -t "$corpus" {} + 2>/dev/null || true
  done
  # What an earlier run found is where this one starts.
  if [ -d "$out/default/queue" ]; then
    find "$out/default/queue" -maxdepth 1 -type f -name 'id:*' -exec cp -t "$corpus" {} +
  fi
  [ -n "$(ls -A "$corpus")" ] || printf '\n' > "$corpus/empty"
  rm -rf "$out"
  mkdir -p "$build/out"
  dictionaries=(-x fuzz/dict/common.dict)
  [ -f "fuzz/dict/$t.dict" ] && dictionaries+=(-x "fuzz/dict/$t.dict")
  echo "== fuzzing $t for $seconds s"
  rm -rf "$ZUVO_FUZZ_TMP"
  if ! afl-fuzz -i "$corpus" -o "$out" -V "$seconds" -m none -t 2000+ "${dictionaries[@]}" \
       -- "$build/fuzz/fuzz_afl_$t" > "$build/afl-$t.log" 2>&1; then
    tail -n 20 "$build/afl-$t.log" >&2
    summary+=("$(printf '%-11s afl-fuzz failed (log: %s)' "$t" "$build/afl-$t.log")")
    failed=1
    continue
  fi
  rm -rf "$ZUVO_FUZZ_TMP"

  stats="$out/default/fuzzer_stats"
  crashes=0
  hangs=0
  for kind in crashes hangs; do
    for input in "$out/default/$kind"/id:*; do
      [ -f "$input" ] || continue
      mkdir -p "fuzz/regressions/$t"
      name="${kind%es}"
      name="${name%s}-$(sha1sum "$input" | cut -c1-16)"
      cp "$input" "fuzz/regressions/$t/$name"
      chmod 644 "fuzz/regressions/$t/$name"
      if [ "$kind" = crashes ]; then crashes=$((crashes + 1)); else hangs=$((hangs + 1)); fi
      echo "   $kind: fuzz/regressions/$t/$name"
      # The subshell reports the abort into the pipe, where grep drops it.
      ("$build/fuzz/fuzz_afl_$t" "$input" 2>&1; true) 2>&1 | grep -m 3 -E "property broken|check:|ERROR: .*Sanitizer|runtime error" \
        | sed 's/^/     /' || true
    done
  done
  summary+=("$(printf '%-11s %12s execs  %6s edges (%s of the bitmap)  %5s inputs  %d crashes  %d hangs' "$t" \
    "$(stat_of execs_done "$stats")" "$(stat_of edges_found "$stats")" "$(stat_of bitmap_cvg "$stats")" \
    "$(stat_of corpus_count "$stats")" "$crashes" "$hangs")")
done

echo
echo "target      executions          coverage                       corpus    findings"
printf '%s\n' "${summary[@]}"
exit $failed
