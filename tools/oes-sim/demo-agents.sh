#!/usr/bin/env bash
# Starts simulated order-submission hosts on this machine: host K gets a demo installation in
# DIR/host-K, its two simulated programs and a TarvoMonitorAgent on 127.0.0.K:10012.
# The agents tell a running program by its process name, and all hosts share this machine's
# process list: a program counts as running on every host while any host runs it.
# Usage: tools/oes-sim/demo-agents.sh BUILD_DIR [COUNT (default 4)] [DIR (default BUILD_DIR/demo-hosts)]
# Ctrl-C (or SIGTERM) stops everything it started. Stop one PBU of host K with:
#   echo A0000000002 > DIR/host-K/monitor/ASHR_sim.txt      (empty the file to start it again)
set -euo pipefail
BUILD="${1:?usage: demo-agents.sh BUILD_DIR [COUNT] [DIR]}"
COUNT="${2:-4}"
DIR="${3:-$BUILD/demo-hosts}"
SIM="$BUILD/tools/oes-sim/oes-sim"
AGENT="$BUILD/programs/agent/TarvoMonitorAgent"
[ -x "$SIM" ] && [ -x "$AGENT" ] || { echo "build oes-sim and TarvoMonitorAgent first" >&2; exit 1; }

pids=()
stop_all() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap stop_all EXIT
trap 'exit 0' INT TERM

for k in $(seq 1 "$COUNT"); do
  inst="$DIR/host-$k"
  "$SIM" --install "$inst" --operators $((k + 1)) --env "0$k" >/dev/null
  (cd "$inst" && exec ./Tarvo_ASHR.exe) & pids+=($!)
  (cd "$inst" && exec ./Tarvo_BSHR.exe) & pids+=($!)
  "$AGENT" --dir "$inst" --ini "$inst/TarvoMonitorAgent.ini" --bind "127.0.0.$k" & pids+=($!)
  echo "host $k: agent on 127.0.0.$k:10012, installation $inst (log: $inst/logs/TarvoMonitorAgent.log)"
done
echo "Ctrl-C stops the simulated hosts."
wait
