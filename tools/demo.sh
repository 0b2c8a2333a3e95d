#!/usr/bin/env bash
# Starts the console on a demo working directory with four hosts on 127.0.0.1..4, port 10012.
# Usage: tools/demo.sh BUILD_DIR [extra TarvoMonitor options]
set -euo pipefail
BUILD="${1:?usage: tools/demo.sh BUILD_DIR}"
shift
DEMO="${TARVO_DEMO_DIR:-$BUILD/demo}"
mkdir -p "$DEMO"
if [ ! -f "$DEMO/TarvoMonitor.CFG" ]; then
  printf 'demo-1,127.0.0.1,10012,N,N,0,\r\ndemo-2,127.0.0.2,10012,N,N,0,\r\ndemo-3,127.0.0.3,10012,N,N,0,\r\ndemo-4,127.0.0.4,10012,N,N,0,\r\n' \
    > "$DEMO/TarvoMonitor.CFG"
fi
echo "demo working directory: $DEMO (host list TarvoMonitor.CFG, logs/)"
exec "$BUILD/programs/monitor/TarvoMonitor" --dir "$DEMO" "$@"
