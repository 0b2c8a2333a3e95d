#!/usr/bin/env bash
# The demo: simulated order-submission hosts (host 1 production, the others test environments),
# each with its two simulated programs and an agent on 127.0.0.K, and the console watching them.
#
# Usage: tools/demo.sh BUILD_DIR [OPTIONS] [TarvoMonitor options]
#   --hosts N      number of hosts (default 3)
#   --port N       agent port of every host (default 10012, or a free port when it is taken)
#   --stop-pbu     in a running demo, stop one PBU of host 1 (the console shows "停止" and beeps)
#   --start-pbu    start it again
# Every other option goes to TarvoMonitor. Without a display the console runs with --headless
# and prints to the terminal. Ctrl+C, closing the window, or the end of the console by any other
# means (even SIGKILL) stops everything the demo started.
# The demo lives in BUILD_DIR/demo (TARVO_DEMO_DIR overrides it): the console's host list
# TarvoMonitor.CFG and logs/, and hosts/host-K with each host's installation.
set -euo pipefail
BUILD="${1:?usage: tools/demo.sh BUILD_DIR [--hosts N] [--port N] [--stop-pbu|--start-pbu] [TarvoMonitor options]}"
shift
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$(cd "$BUILD" && pwd)"
mkdir -p "${TARVO_DEMO_DIR:-$BUILD/demo}"
DEMO="$(cd "${TARVO_DEMO_DIR:-$BUILD/demo}" && pwd)"
HOSTS_DIR="$DEMO/hosts"
CONSOLE="$BUILD/programs/monitor/TarvoMonitor"
DEMO_PID="$DEMO/demo.pid"
CONSOLE_PID="$DEMO/console.pid"

hosts=3
port=""
pbu=""
console_options=()
while [ $# -gt 0 ]; do
  case "$1" in
    --hosts) hosts="${2:?--hosts needs a number}"; shift 2 ;;
    --port) port="${2:?--port needs a number}"; shift 2 ;;
    --stop-pbu) pbu=stop; shift ;;
    --start-pbu) pbu=start; shift ;;
    *) console_options+=("$1"); shift ;;
  esac
done

# How the user gives this demo's commands: through ./run, with the demo directory when it is
# not the default one.
command_prefix="tools/demo.sh $BUILD"
[ "$BUILD" = "$ROOT/build" ] && [ -x "$ROOT/run" ] && command_prefix="./run demo"
[ -n "${TARVO_DEMO_DIR:-}" ] && command_prefix="TARVO_DEMO_DIR=$DEMO $command_prefix"

# The PID of the demo running on this directory, if one does.
running_demo() {
  local pid
  [ -s "$DEMO_PID" ] && read -r pid < "$DEMO_PID" || return 1
  [ -n "$pid" ] && [ "$pid" != "$$" ] && kill -0 "$pid" 2>/dev/null \
    && tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null | grep -q 'demo\.sh' || return 1
  echo "$pid"
}

# --stop-pbu / --start-pbu: the simulator of host 1's program A holds every operator code
# listed in monitor/ASHR_sim.txt stopped.
if [ -n "$pbu" ]; then
  running_demo >/dev/null || { echo "demo: no demo runs on $DEMO; start one with: $command_prefix" >&2; exit 1; }
  host1="$HOSTS_DIR/host-1"
  code="$(grep -a '^OperCode=' "$host1/cfgA/SystemConfiguration.ini" | sed -n 2p | cut -d= -f2 | tr -d '\r')"
  [ -n "$code" ] || { echo "demo: no second operator in $host1/cfgA" >&2; exit 1; }
  sim="$host1/monitor/ASHR_sim.txt"
  if [ "$pbu" = stop ]; then
    printf '# held stopped by %s --stop-pbu\n%s\n' "$command_prefix" "$code" > "$sim"
    echo "demo: PBU $code of host 1 (Tarvo_ASHR.exe) stops; the console shows 停止 at its next poll"
  else
    : > "$sim"
    echo "demo: PBU $code of host 1 (Tarvo_ASHR.exe) runs again"
  fi
  exit 0
fi

[ -x "$CONSOLE" ] || { echo "demo: build TarvoMonitor first (./run build)" >&2; exit 1; }
[[ "$hosts" =~ ^[1-9][0-9]*$ ]] && [ "$hosts" -le 254 ] \
  || { echo "demo: --hosts takes a number from 1 to 254, not $hosts" >&2; exit 2; }
if other="$(running_demo)"; then
  echo "demo: a demo already runs on $DEMO (process $other); end it first, or set TARVO_DEMO_DIR" >&2
  exit 1
fi
echo $$ > "$DEMO_PID"
rm -f "$CONSOLE_PID"

agents=""
console=""
# Ends the console, then the agents' process group (agents, simulators, watchdog).
cleanup() {
  local rc=$? tries
  trap - EXIT INT TERM HUP
  if [ -n "$console" ] && kill -0 "$console" 2>/dev/null; then
    kill -TERM "$console" 2>/dev/null || true
    for tries in $(seq 1 50); do kill -0 "$console" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$console" 2>/dev/null || true
  fi
  if [ -n "$agents" ]; then
    kill -TERM "$agents" 2>/dev/null || true
    for tries in $(seq 1 50); do kill -0 "$agents" 2>/dev/null || break; sleep 0.1; done
    kill -KILL -- "-$agents" 2>/dev/null || true
  fi
  wait 2>/dev/null || true
  rm -f "$CONSOLE_PID" "$DEMO_PID"
  [ -n "$agents" ] && echo "demo: stopped"
  exit $rc
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# The hosts run in a process group of their own whose watchdog ends it when this script or the
# console is gone, however they ended.
agent_options=(--hosts "$hosts" --dir "$HOSTS_DIR" --watch $$ --watch-file "$CONSOLE_PID")
[ -n "$port" ] && agent_options+=(--port "$port")
rm -f "$HOSTS_DIR/ready"
setsid=()
command -v setsid >/dev/null 2>&1 && setsid=(setsid)
"${setsid[@]}" "$ROOT/tools/oes-sim/demo-agents.sh" "$BUILD" "${agent_options[@]}" &
agents=$!
for tries in $(seq 1 300); do
  [ -s "$HOSTS_DIR/ready" ] && break
  kill -0 "$agents" 2>/dev/null || { agents=""; echo "demo: the hosts did not start" >&2; exit 1; }
  sleep 0.1
done
[ -s "$HOSTS_DIR/ready" ] || { echo "demo: the hosts did not start within 30 s" >&2; exit 1; }
read -r port < "$HOSTS_DIR/ready"

# The host list, written anew each run so that it matches the hosts and their port.
for k in $(seq 1 "$hosts"); do
  printf '%s,127.0.0.%d,%d,N,N,0,\r\n' "$(printf '报盘机%d' "$k" | iconv -f UTF-8 -t GBK)" "$k" "$port"
done > "$DEMO/TarvoMonitor.CFG"

options=(--dir "$DEMO"
         --instance "TarvoMonitor-demo-$(printf '%s' "$DEMO" | cksum | cut -d' ' -f1)")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: no display, the console runs in this terminal (--headless)"
  options+=(--headless)
fi
# Metrics for a dashboard on the first free port from 9464 on.
metrics_port=9464
while [ "$metrics_port" -lt 9564 ] && (exec 3<>"/dev/tcp/127.0.0.1/$metrics_port") 2>/dev/null; do
  metrics_port=$((metrics_port + 1))
done
options+=(--metrics "127.0.0.1:$metrics_port")
echo "demo: the console's working directory is $DEMO (host list TarvoMonitor.CFG, logs/)"
echo "demo: metrics of every host and PBU:  curl -s 127.0.0.1:$metrics_port/metrics"
echo "demo: host 1 is the production host (生产环境), the others are test environments"
echo "demo: stop one PBU of host 1:   $command_prefix --stop-pbu"
echo "demo: start it again:           $command_prefix --start-pbu"
echo "demo: Ctrl+C or closing the console's window stops the demo"

# The console runs in the background so that the traps run at once; its PID file lets the
# watchdog follow it.
( echo "$BASHPID" > "$CONSOLE_PID"; exec "$CONSOLE" "${options[@]}" ${console_options[@]+"${console_options[@]}"} ) &
console=$!
rc=0
wait "$console" || rc=$?
console=""
exit $rc
