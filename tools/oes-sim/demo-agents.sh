#!/usr/bin/env bash
# Starts simulated order-submission hosts on this machine: host K gets a demo installation in
# DIR/host-K (envNo "00", production, for host 1; "01", "02" ... for the test hosts), its two
# simulated programs and a TarvoMonitorAgent on 127.0.0.K:PORT that admits the console of
# this machine (ACCESS_CONTROL 127.0.0.1: a connection to 127.0.0.K comes from 127.0.0.1).
#
# Usage: tools/oes-sim/demo-agents.sh BUILD_DIR [OPTIONS] [COUNT] [DIR]
#   --hosts N        number of hosts (default 3; COUNT does the same)
#   --dir DIR        where the installations go (default BUILD_DIR/demo-hosts)
#   --port N         agent port of every host; without it 10012, or a free port when 10012
#                    is taken on one of the addresses
#   --watch PID      stop everything when process PID ends (may be repeated)
#   --watch-file F   the same for the process whose PID file F holds, once it exists
#
# When every agent listens, DIR/ready holds the port. Ctrl-C, SIGTERM, SIGHUP, or the end of a
# watched process stop everything this script started; run it under setsid to give it its own
# process group, which is then stopped as a whole.
#
# The agents tell a running program by its process name, and all hosts share this machine's
# process list: a program counts as running on every host while any host runs it.
# Stop one PBU of host K with:
#   echo A0000000002 > DIR/host-K/monitor/ASHR_sim.txt      (empty the file to start it again)
set -euo pipefail
case "${1:-}" in -h|--help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;; esac
BUILD="${1:?usage: demo-agents.sh BUILD_DIR [--hosts N] [--dir DIR] [--port N] [--watch PID]}"
shift
SIM="$BUILD/tools/oes-sim/oes-sim"
AGENT="$BUILD/programs/agent/TarvoMonitorAgent"
DEFAULT_PORT=10012

COUNT=3
DIR="$BUILD/demo-hosts"
PORT=""
watch=()
watch_file=""
positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    --hosts) COUNT="${2:?--hosts needs a number}"; shift 2 ;;
    --dir) DIR="${2:?--dir needs a directory}"; shift 2 ;;
    --port) PORT="${2:?--port needs a number}"; shift 2 ;;
    --watch) watch+=("${2:?--watch needs a PID}"); shift 2 ;;
    --watch-file) watch_file="${2:?--watch-file needs a file}"; shift 2 ;;
    -h|--help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    -*) echo "demo-agents.sh: unknown option $1" >&2; exit 2 ;;
    *) positional+=("$1"); shift ;;
  esac
done
[ ${#positional[@]} -ge 1 ] && COUNT="${positional[0]}"
[ ${#positional[@]} -ge 2 ] && DIR="${positional[1]}"
[[ "$COUNT" =~ ^[1-9][0-9]*$ ]] && [ "$COUNT" -le 254 ] \
  || { echo "demo-agents.sh: the number of hosts goes from 1 to 254, not $COUNT" >&2; exit 2; }
[ -z "$PORT" ] || { [[ "$PORT" =~ ^[1-9][0-9]*$ ]] && [ "$PORT" -le 65535 ]; } \
  || { echo "demo-agents.sh: --port takes a port number, not $PORT" >&2; exit 2; }
[ -x "$SIM" ] && [ -x "$AGENT" ] || { echo "build oes-sim and TarvoMonitorAgent first" >&2; exit 1; }

# True when something listens on ADDR:PORT, or on every address at PORT.
port_taken() {
  local addr="$1" port="$2"
  if command -v ss >/dev/null 2>&1; then
    ss -ltnH 2>/dev/null | awk -v a="$addr:$port" -v p=":$port" \
      '{ if ($4 == a || $4 == "0.0.0.0" p || $4 == "*" p || $4 == "[::]" p) f = 1 } END { exit !f }' \
      && return 0
  fi
  timeout 1 bash -c "exec 3<>/dev/tcp/$addr/$port" 2>/dev/null
}

# True when PORT is free on every host's address.
port_free_for_all() {
  local k
  for k in $(seq 1 "$COUNT"); do
    port_taken "127.0.0.$k" "$1" && return 1
  done
  return 0
}

if [ -n "$PORT" ]; then
  port_free_for_all "$PORT" \
    || { echo "demo-agents.sh: port $PORT is already taken on 127.0.0.1-$COUNT" >&2; exit 1; }
elif port_free_for_all "$DEFAULT_PORT"; then
  PORT=$DEFAULT_PORT
else
  for candidate in $(seq $((DEFAULT_PORT + 1)) $((DEFAULT_PORT + 988))); do
    if port_free_for_all "$candidate"; then PORT=$candidate; break; fi
  done
  [ -n "$PORT" ] || { echo "demo-agents.sh: no free port near $DEFAULT_PORT" >&2; exit 1; }
  echo "port $DEFAULT_PORT is taken on one of 127.0.0.1-$COUNT: every agent uses port $PORT instead"
fi

# True while process PID runs (a zombie no longer does).
alive() {
  local stat
  { read -r stat < "/proc/$1/stat"; } 2>/dev/null || return 1
  stat="${stat##*) }"
  [ "${stat%% *}" != Z ]
}

pids=()
watchdog=""
stopping=0
stop_all() {
  [ $stopping -eq 1 ] && return 0
  stopping=1
  trap - EXIT INT TERM HUP
  [ -n "$watchdog" ] && kill "$watchdog" 2>/dev/null
  local pid tries
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for tries in $(seq 1 30); do
    local left=0
    for pid in "${pids[@]}"; do alive "$pid" && left=1; done
    [ $left -eq 0 ] && break
    sleep 0.1
  done
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -f "$DIR/ready"
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

mkdir -p "$DIR"
rm -f "$DIR/ready"
for k in $(seq 1 "$COUNT"); do
  inst="$DIR/host-$k"
  # A fresh installation each run: no PBU stays stopped from a run before.
  rm -rf "${inst:?}"
  "$SIM" --install "$inst" --operators $((k + 2)) --env "$(printf '%02d' $((k - 1)))" \
    --port "$PORT" --access 127.0.0.1 >/dev/null
  "$inst/Tarvo_ASHR.exe" --dir "$inst" & pids+=($!)
  "$inst/Tarvo_BSHR.exe" --dir "$inst" & pids+=($!)
  "$AGENT" --dir "$inst" --ini "$inst/TarvoMonitorAgent.ini" --bind "127.0.0.$k" --port "$PORT" &
  pids+=($!)
done

# Ends everything when a watched process, or this script, is gone (even after a SIGKILL that
# left no trap to run).
main=$$
leader=0
[ "$(ps -o pgid= -p $$ 2>/dev/null | tr -d ' ')" = "$$" ] && leader=1
(
  set +e
  trap - EXIT INT TERM HUP
  while :; do
    alive "$main" || break
    gone=0
    for p in ${watch[@]+"${watch[@]}"}; do alive "$p" || gone=1; done
    if [ -n "$watch_file" ] && [ -s "$watch_file" ]; then
      read -r watched < "$watch_file" || watched=""
      [ -n "$watched" ] && ! alive "$watched" && gone=1
    fi
    [ $gone -eq 1 ] && break
    sleep 0.5
  done
  if [ -n "$watch_file" ] && [ -s "$watch_file" ]; then
    read -r watched < "$watch_file" && kill "$watched" 2>/dev/null
  fi
  kill "$main" 2>/dev/null
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for tries in $(seq 1 20); do
    left=0
    for pid in "${pids[@]}"; do alive "$pid" && left=1; done
    [ $left -eq 0 ] && break
    sleep 0.1
  done
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null; done
  # In a process group of its own (setsid), whatever is left of it goes too.
  [ $leader -eq 1 ] && kill -KILL -- "-$main" 2>/dev/null
  exit 0
) </dev/null >/dev/null 2>&1 &
watchdog=$!

# Ready when every agent listens; an agent that ends before (a port taken meanwhile, say)
# fails the start.
for tries in $(seq 1 100); do
  listening=0
  for k in $(seq 1 "$COUNT"); do
    agent="${pids[$((3 * k - 1))]}"
    if ! alive "$agent"; then
      echo "demo-agents.sh: the agent of host $k ended at start; its log:" >&2
      tail -n 5 "$DIR/host-$k/logs/TarvoMonitorAgent.log" >&2 2>/dev/null || true
      exit 1
    fi
    port_taken "127.0.0.$k" "$PORT" && listening=$((listening + 1))
  done
  [ $listening -eq "$COUNT" ] && break
  sleep 0.1
done
[ $listening -eq "$COUNT" ] || { echo "demo-agents.sh: the agents did not start listening" >&2; exit 1; }

for k in $(seq 1 "$COUNT"); do
  env="test environment"
  [ "$k" -eq 1 ] && env="production"
  echo "host $k: agent on 127.0.0.$k:$PORT, envNo $(printf '%02d' $((k - 1))) ($env)," \
       "installation $DIR/host-$k"
done
echo "$PORT" > "$DIR/ready"
while :; do
  wait || true
  # Only a signal's trap ends the loop; every child gone means there is nothing to watch.
  left=0
  for pid in "${pids[@]}"; do alive "$pid" && left=1; done
  [ $left -eq 0 ] && exit 1
done
