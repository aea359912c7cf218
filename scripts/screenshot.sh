#!/usr/bin/env bash
# Photographs the terminal without a display: starts a virtual X server (1280x1024, 24 bits) on
# a free display number, builds and assembles the install tree as ./run.sh does, starts the
# local quote server and the terminal on that screen, answers the first dialog (the offline
# warning "警告", later the login dialog) with its default button, waits for the main window
# and writes build/screenshot.png with ImageMagick's `import -window root`. Every process it
# started is ended by its process id when it exits, however it exits.
#
#   scripts/screenshot.sh [<output png>]
#
# ZUVO_BUILD names another build folder, configured already, in which only the programs the
# tree needs are built (by default build/release, configured and built as ./run.sh does);
# ZUVO_SCREENSHOT_TIMEOUT the seconds to wait for each window (default 60);
# ZUVO_SCREENSHOT_WAIT seconds to let the terminal run before the photograph (default 0);
# ZUVO_SCREENSHOT_TYPE text typed into the main window before it (xdotool key names separated by
# blanks, e.g. "6 0 0" or "Return"). The terminal's output goes to build/screenshot-terminal.log.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
output=${1:-$top/build/screenshot.png}
case $output in /*) ;; *) output=$top/$output ;; esac
build=${ZUVO_BUILD:-}
timeout=${ZUVO_SCREENSHOT_TIMEOUT:-60}
root=$top/build/install
terminal_log=$top/build/screenshot-terminal.log
# Window names are UTF-8 on the X server: xdotool matches them in a UTF-8 locale.
export LC_ALL=C.UTF-8

./scripts/install-deps.sh
if [ -z "$build" ]; then
  build=build/release
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZUVO_BUILD_TESTS=OFF -DZUVO_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" --parallel "$(nproc)"
else
  cmake --build "$build" --parallel "$(nproc)" --target sample-market default-page quote-server zuvo
fi
if ! ./scripts/assemble-install.sh "$build" "$root"; then
  echo "screenshot: the install tree at $root is not ready (see the message above)" >&2
  exit 1
fi
if [ ! -x "$root/bin/zuvo" ]; then
  echo "screenshot: no terminal at $root/bin/zuvo (build the target zuvo in $build)" >&2
  exit 1
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/zuvo-screenshot-XXXXXX")
xvfb_pid=
terminal_pid=
server_started=0

# Ends a process of ours: SIGTERM, then SIGKILL after five seconds.
end_process() {
  local pid=$1
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
cleanup() {
  end_process "$terminal_pid"
  if [ "$server_started" -eq 1 ]; then
    ./scripts/start-quote-server.sh stop "$root" || true
  fi
  end_process "$xvfb_pid"
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The virtual screen: -displayfd makes the server pick a free display number and write it out.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$scratch/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$scratch/display" ]; then
  echo "screenshot: the virtual X server did not start: $(tail -n 3 "$scratch/xvfb.log")" >&2
  exit 1
fi
export DISPLAY=:$(head -n 1 "$scratch/display")
echo "Virtual screen on display $DISPLAY (1280x1024x24)"

if ./scripts/start-quote-server.sh start "$build/tools/quote-server/quote-server" "$root"; then
  server_started=1
else
  echo "screenshot: going on without the local quote server (the terminal runs offline)" >&2
fi

(cd "$root/bin" && QT_QPA_PLATFORM=xcb exec ./zuvo) >"$terminal_log" 2>&1 &
terminal_pid=$!

# The terminal's visible windows as "id width height name" lines.
terminal_windows() {
  local id
  for id in $(xdotool search --all --onlyvisible --pid "$terminal_pid" 2>/dev/null); do
    local width=0 height=0
    eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null | grep -E '^(WIDTH|HEIGHT)=' | tr 'A-Z' 'a-z')"
    echo "$id $width $height $(xdotool getwindowname "$id" 2>/dev/null)"
  done
}
terminal_running() {
  if ! kill -0 "$terminal_pid" 2>/dev/null; then
    echo "screenshot: the terminal exited; its output:" >&2
    tail -n 20 "$terminal_log" >&2
    return 1
  fi
}

# The first dialog: the offline warning (or the login dialog), answered with its default button.
dialog=
deadline=$((SECONDS + timeout))
while [ -z "$dialog" ]; do
  terminal_running || exit 1
  if [ "$SECONDS" -ge "$deadline" ]; then
    echo "screenshot: no dialog of the terminal appeared within $timeout seconds" >&2
    exit 1
  fi
  windows=$(terminal_windows)
  dialog=$(awk '$4 == "警告" { print $1; exit }' <<<"$windows")
  [ -n "$dialog" ] || dialog=$(awk '$2 > 0 && $2 < 900 { print $1; exit }' <<<"$windows")
  [ -n "$dialog" ] || sleep 0.2
done
echo "Answering the dialog \"$(xdotool getwindowname "$dialog" 2>/dev/null)\" with its default button"
sleep 0.5   # the dialog takes keys once it has been mapped and focused
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
xdotool key --clearmodifiers Return

# The main window: a visible window of the terminal wider than any dialog, once the dialog is gone.
main=
deadline=$((SECONDS + timeout))
while [ -z "$main" ]; do
  terminal_running || exit 1
  if [ "$SECONDS" -ge "$deadline" ]; then
    echo "screenshot: the main window did not appear within $timeout seconds; windows now:" >&2
    terminal_windows >&2
    exit 1
  fi
  windows=$(terminal_windows)
  if ! grep -q "^$dialog " <<<"$windows"; then
    main=$(awk '$2 >= 900 { print $1; exit }' <<<"$windows")
  fi
  [ -n "$main" ] || sleep 0.2
done
echo "Main window \"$(xdotool getwindowname "$main" 2>/dev/null)\""
sleep "${ZUVO_SCREENSHOT_WAIT:-0}"
if [ -n "${ZUVO_SCREENSHOT_TYPE:-}" ]; then
  xdotool windowfocus --sync "$main" 2>/dev/null || true
  # shellcheck disable=SC2086 # one key name per word
  for key in $ZUVO_SCREENSHOT_TYPE; do
    xdotool key --clearmodifiers "$key"
    sleep 0.3
  done
fi

# Photographs the screen once two pictures a second apart are alike (the page has painted),
# or after ten tries.
mkdir -p "$(dirname "$output")"
previous=
for _ in $(seq 10); do
  sleep 1
  import -window root "$scratch/shot.png"
  current=$(convert "$scratch/shot.png" -depth 8 rgb:- | md5sum)
  cp "$scratch/shot.png" "$output"
  [ "$current" = "$previous" ] && break
  previous=$current
done
echo "Screenshot written: $output"
