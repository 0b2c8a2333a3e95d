#!/usr/bin/env bash
# The demo installation: four simulated order-submission hosts, each with its two simulated
# programs and an agent on 127.0.0.K:10012, and the console watching them.
# Usage: tools/demo.sh BUILD_DIR [extra TarvoMonitor options]
# Without a display the console runs with --headless and prints to the terminal.
set -euo pipefail
BUILD="${1:?usage: tools/demo.sh BUILD_DIR [TarvoMonitor options]}"
shift
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DEMO="${TARVO_DEMO_DIR:-$BUILD/demo}"
HOSTS=4
mkdir -p "$DEMO"
if [ ! -f "$DEMO/TarvoMonitor.CFG" ]; then
  for k in $(seq 1 $HOSTS); do
    printf 'demo-%d,127.0.0.%d,10012,N,N,0,\r\n' "$k" "$k"
  done > "$DEMO/TarvoMonitor.CFG"
fi

agents=""
stop_agents() {
  [ -n "$agents" ] && kill "$agents" 2>/dev/null && wait "$agents" 2>/dev/null
  return 0
}
trap stop_agents EXIT
trap 'exit 0' INT TERM

"$ROOT/tools/oes-sim/demo-agents.sh" "$BUILD" "$HOSTS" "$DEMO/hosts" &
agents=$!

options=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "no display: the console runs in the terminal (--headless); Ctrl-C ends the demo"
  options+=(--headless)
fi
echo "console working directory: $DEMO (host list TarvoMonitor.CFG, logs/)"
echo "stop one PBU of host 1:  echo A0000000002 > $DEMO/hosts/host-1/monitor/ASHR_sim.txt"
"$BUILD/programs/monitor/TarvoMonitor" --dir "$DEMO" "${options[@]}" "$@"
