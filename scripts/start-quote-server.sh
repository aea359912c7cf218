#!/usr/bin/env bash
# Starts the local quote server as the terminal's default server, and stops it again.
#
#   start-quote-server.sh start <quote-server program> <install root> [<terminal>]
#     Starts `quote-server --data <root> --clock auto --news-every 120` in the background and
#     waits until its three ports accept. With a terminal program that exists, runs it in
#     <root>/bin and stops the server when it exits (its exit status is the script's).
#     Without one, leaves the server running and says how to stop it.
#   start-quote-server.sh stop <install root>
#     Stops the server that `start` left running, by its process id.
#
# The ports are the ones bin/SERVER.INI names (13130, 13152, 13153); ZUVO_MAIN_PORT,
# ZUVO_REQUEST_PORT and ZUVO_PUSH_PORT change them. The process id and the server's output go
# to quote-server.pid and quote-server.log beside the install root (ZUVO_SERVER_STATE names
# another folder). A port in use, or a server that does not come up, fails the start (exit 1)
# with the reason, and leaves no process behind.
set -uo pipefail

main_port=${ZUVO_MAIN_PORT:-13130}
request_port=${ZUVO_REQUEST_PORT:-13152}
push_port=${ZUVO_PUSH_PORT:-13153}
# How long the server may take to listen, in tenths of a second.
wait_tenths=600

usage() {
  echo "usage: $0 start <quote-server program> <install root> [<terminal>]" >&2
  echo "       $0 stop <install root>" >&2
  exit 2
}

state_files() {
  local root=$1
  local state=${ZUVO_SERVER_STATE:-$(dirname "$root")}
  pid_file=$state/quote-server.pid
  log_file=$state/quote-server.log
}

# True while the process runs (an exited process not yet reaped counts as gone).
alive() {
  local pid=$1
  [ -r "/proc/$pid/stat" ] || return 1
  local state
  state=$(sed 's/.*) //' "/proc/$pid/stat" | cut -d' ' -f1)
  [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}

# True when the process is a quote server: a recycled process id is never stopped.
is_quote_server() {
  local pid=$1
  alive "$pid" && tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | head -n 1 | grep -q 'quote-server$'
}

port_accepts() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# Stops the server of the pid file: SIGTERM, then SIGKILL after ten seconds.
stop_server() {
  [ -f "$pid_file" ] || return 0
  local pid
  pid=$(cat "$pid_file")
  if [[ "$pid" =~ ^[0-9]+$ ]] && is_quote_server "$pid"; then
    kill -TERM "$pid" 2>/dev/null
    for _ in $(seq 100); do
      alive "$pid" || break
      sleep 0.1
    done
    if alive "$pid"; then
      kill -KILL "$pid" 2>/dev/null
      for _ in $(seq 50); do
        alive "$pid" || break
        sleep 0.1
      done
    fi
    wait "$pid" 2>/dev/null
  fi
  rm -f "$pid_file"
}

start() {
  local program=$1 root=$2 terminal=${3:-}
  state_files "$root"
  if [ ! -x "$program" ]; then
    echo "start-quote-server: no quote server program at $program" >&2
    return 1
  fi
  if [ -f "$pid_file" ] && is_quote_server "$(cat "$pid_file")"; then
    echo "start-quote-server: a quote server is still running (process $(cat "$pid_file")); stop it with" \
         "$0 stop $root" >&2
    return 1
  fi
  rm -f "$pid_file"
  for port in "$main_port" "$request_port" "$push_port"; do
    if port_accepts "$port"; then
      echo "start-quote-server: port $port is in use by another program; the quote server needs" \
           "ports $main_port, $request_port and $push_port" >&2
      return 1
    fi
  done

  # In the background, immune to the terminal's hang-up, reading no console.
  ( trap '' HUP; exec "$program" --data "$root" --clock auto --news-every 120 --main-port "$main_port" \
      --request-port "$request_port" --push-port "$push_port" </dev/null >"$log_file" 2>&1 ) &
  local pid=$!
  echo "$pid" >"$pid_file"

  local ready=0
  for _ in $(seq "$wait_tenths"); do
    if ! alive "$pid"; then
      break
    fi
    if port_accepts "$main_port" && port_accepts "$request_port" && port_accepts "$push_port"; then
      ready=1
      break
    fi
    sleep 0.1
  done
  if [ "$ready" -ne 1 ]; then
    local reason
    reason=$(grep -m 1 'quote-server:' "$log_file" 2>/dev/null)
    stop_server
    echo "start-quote-server: the quote server did not come up: ${reason:-no answer on its ports}" >&2
    return 1
  fi

  if [ -n "$terminal" ] && [ -x "$terminal" ]; then
    # The terminal runs in its program folder; the server stops when it exits, however.
    trap stop_server EXIT
    trap 'exit 130' INT TERM
    (cd "$root/bin" && "$terminal")
    return $?
  fi
  echo "Local quote server running (process $pid): main port $main_port, request port $request_port," \
       "push port $push_port; its output goes to $log_file."
  echo "Stop it with: $0 stop $root"
  return 0
}

case "${1:-}" in
  start)
    [ $# -ge 3 ] && [ $# -le 4 ] || usage
    start "$2" "$3" "${4:-}"
    exit $?
    ;;
  stop)
    [ $# -eq 2 ] || usage
    state_files "$2"
    stop_server
    ;;
  *) usage ;;
esac
