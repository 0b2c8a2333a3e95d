#!/usr/bin/env bash
# Measures the console against the agent farm: for each host count its CPU share of one core
# over a steady window, its resident memory, the answer latency (p50/p99/max) and, for the
# window (GUI) run under Xvfb, the longest event-loop stall. Prints a Markdown table.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$ROOT/build-bench"
HOSTS="100 1000 5000"
GUI_HOSTS="1000"
PBUS=20
WINDOW=60
SETTLE=15
PORT=11012
METRICS_PORT=19464
KEEP=0
NICE=-10

usage() {
  cat <<EOF
Usage: tools/agent-farm/scale-bench.sh [options]
Builds the console and the agent farm (Release, in build-bench/), then for each host count
starts the farm and the console (headless; and the window under xvfb-run for the GUI counts),
waits until every host is connected and SETTLE seconds more, and measures over WINDOW seconds:
CPU share of one core (utime+stime from /proc), RSS, answer latency p50/p99/max (from the
console's metrics, diffed over the window) and the longest event-loop stall.

  --hosts "N ..."      host counts, headless (default: "$HOSTS")
  --gui-hosts "N ..."  host counts for the window under Xvfb (default: "$GUI_HOSTS"; "" none)
  --pbus N             PBUs per host (default $PBUS)
  --window S           measuring window in seconds (default $WINDOW)
  --settle S           seconds to wait after every host is connected (default $SETTLE)
  --build DIR          build directory (default build-bench/)
  --keep               keep the run directories (under /tmp)
  --nice N             niceness of the console and the farm while measured (default $NICE;
                       needs root, ignored otherwise)
  --help
EOF
}

while [ $# -gt 0 ]; do
  case "$1" in
    --hosts) HOSTS="$2"; shift 2 ;;
    --gui-hosts) GUI_HOSTS="$2"; shift 2 ;;
    --pbus) PBUS="$2"; shift 2 ;;
    --window) WINDOW="$2"; shift 2 ;;
    --settle) SETTLE="$2"; shift 2 ;;
    --build) BUILD="$2"; shift 2 ;;
    --keep) KEEP=1; shift ;;
    --nice) NICE="$2"; shift 2 ;;
    --help|-h) usage; exit 0 ;;
    *) echo "scale-bench: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done

say() { echo "scale-bench: $*" >&2; }

if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER} >&2
fi
cmake --build "$BUILD" -j "$(nproc)" --target TarvoMonitor tarvo-agent-farm >&2
MONITOR="$BUILD/programs/monitor/TarvoMonitor"
FARM="$BUILD/tools/agent-farm/tarvo-agent-farm"
ulimit -n "$(ulimit -Hn)"

CLK=$(getconf CLK_TCK)
PIDS=()
cleanup() {
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
  PIDS=()
}
trap cleanup EXIT

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_mb() { awk '/^VmRSS/ {printf "%.0f", $2 / 1024}' "/proc/$1/status"; }
# The console's process: xvfb-run starts it as a child of its own.
console_pid() {
  local p="$1"
  if [ "$(cat "/proc/$p/comm" 2>/dev/null)" = "TarvoMonitor" ]; then echo "$p"; return; fi
  pgrep -P "$p" -x TarvoMonitor
}
scrape() { curl -s --max-time 60 "http://127.0.0.1:$METRICS_PORT/metrics"; }
connected() { { scrape 2>/dev/null || true; } | awk '/^tarvo_host_up\{/ {s += $2} END {print s + 0}'; }

# p50, p99 and max of a histogram over the window, from two scrapes: Prometheus-style
# linear interpolation inside the bucket; max is the upper bound of the highest bucket used.
quantiles() {
  python3 - "$1" "$2" "$3" <<'PY'
import re, sys
name, a, b = sys.argv[1], open(sys.argv[2]).read(), open(sys.argv[3]).read()
def buckets(text):
    out = {}
    for m in re.finditer(r'^%s_bucket\{le="([^"]+)"\} (\S+)' % name, text, re.M):
        out[float(m.group(1))] = float(m.group(2))
    return out
x, y = buckets(a), buckets(b)
bounds = sorted(y)
counts = [y[k] - x.get(k, 0) for k in bounds]
total = counts[-1] if counts else 0
def q(p):
    if total <= 0: return float('nan')
    rank, prev_b, prev_c = p * total, 0.0, 0.0
    for bound, c in zip(bounds, counts):
        if c >= rank:
            if bound == float('inf'): return prev_b
            return prev_b + (bound - prev_b) * (rank - prev_c) / max(c - prev_c, 1e-9)
        prev_b, prev_c = bound, c
    return prev_b
top = 0.0
prev_c = 0.0
for bound, c in zip(bounds, counts):
    if c > prev_c: top = bound
    prev_c = c
print("%.2f %.2f %.2f %d" % (q(0.5) * 1000, q(0.99) * 1000, top * 1000, total))
PY
}
gauge() { awk -v n="$1" '$1 == n {printf "%.1f", $2 * 1000}' "$2"; }

run_one() {
  local hosts="$1" mode="$2"
  local dir; dir="$(mktemp -d /tmp/tarvo-scale-XXXXXX)"
  printf '[Interval]\r\nTime=5\r\n[Log]\r\nDebug=OFF\r\n' > "$dir/TarvoMonitor.ini"
  "$FARM" --hosts "$hosts" --pbus "$PBUS" --port "$PORT" --write-cfg "$dir/TarvoMonitor.CFG" \
    > "$dir/farm.out" 2>&1 &
  local farm=$!; PIDS+=("$farm")
  for _ in $(seq 100); do grep -q '^ready' "$dir/farm.out" 2>/dev/null && break; sleep 0.1; done
  grep -q '^ready' "$dir/farm.out" || { cat "$dir/farm.out" >&2; exit 1; }
  local args=(--dir "$dir" --ini "$dir/TarvoMonitor.ini" --instance "scale-bench-$$"
              --metrics "127.0.0.1:$METRICS_PORT")
  local start; start=$(date +%s.%N)
  if [ "$mode" = gui ]; then
    xvfb-run -a -s "-screen 0 1600x1000x24" "$MONITOR" "${args[@]}" > "$dir/console.out" 2>&1 &
  else
    "$MONITOR" "${args[@]}" --headless > /dev/null 2> "$dir/console.err" &
  fi
  local launcher=$!; PIDS+=("$launcher")
  local pid=""
  for _ in $(seq 100); do pid=$(console_pid "$launcher" || true); [ -n "$pid" ] && break; sleep 0.1; done
  [ -n "$pid" ] || { say "the console did not start"; exit 1; }
  [ "$pid" = "$launcher" ] || PIDS=("$pid" "${PIDS[@]}")
  # xvfb-run leaves its X server running when it is killed itself: it goes last.
  local xvfb; xvfb=$(pgrep -P "$launcher" -x Xvfb || true)
  [ -z "$xvfb" ] || PIDS+=("$xvfb")
  # Other work on the machine would show up as the console's stalls: it runs ahead of it when
  # that is allowed (root), which changes none of its CPU time.
  renice -n "$NICE" -p "$pid" > /dev/null 2>&1 || true
  # The farm stands for thousands of hosts of their own: starved by a build, its agents miss
  # their polls and the console measures reconnecting instead of watching.
  renice -n "$NICE" -p "$farm" > /dev/null 2>&1 || true
  local up=0
  for _ in $(seq 120); do
    up=$(connected)
    [ "$up" -ge "$hosts" ] && break
    sleep 2
  done
  local ready; ready=$(date +%s.%N)
  [ "$up" -ge "$hosts" ] || say "only $up of $hosts hosts connected"
  sleep "$SETTLE"
  scrape | grep '^tarvo_console_' > "$dir/before.prom"
  local t0; t0=$(cpu_ticks "$pid")
  sleep "$WINDOW"
  local t1; t1=$(cpu_ticks "$pid")
  local rss; rss=$(rss_mb "$pid")
  scrape | grep '^tarvo_console_' > "$dir/after.prom"
  local cpu; cpu=$(awk -v a="$t0" -v b="$t1" -v c="$CLK" -v w="$WINDOW" 'BEGIN {printf "%.1f", (b - a) * 100 / c / w}')
  read -r p50 p99 lmax answers < <(quantiles tarvo_console_answer_latency_seconds "$dir/before.prom" "$dir/after.prom")
  read -r _ _ stall _ < <(quantiles tarvo_console_event_loop_lateness_seconds "$dir/before.prom" "$dir/after.prom")
  local stallStart; stallStart=$(gauge tarvo_console_event_loop_stall_max_seconds "$dir/after.prom")
  local answerStart; answerStart=$(gauge tarvo_console_answer_latency_max_seconds "$dir/after.prom")
  # A bucket's upper bound may lie above the largest value seen since the start.
  stall=$(awk -v a="$stall" -v b="$stallStart" 'BEGIN {printf "%.1f", (a < b ? a : b)}')
  lmax=$(awk -v a="$lmax" -v b="$answerStart" 'BEGIN {printf "%.1f", (a < b ? a : b)}')
  local setup; setup=$(awk -v a="$start" -v b="$ready" 'BEGIN {printf "%.0f", b - a}')
  printf '| %s | %s | %s | %s | %s | %s / %s / %s | %s | %s (%s) |\n' \
    "$hosts" "$mode" "$up" "$cpu" "$rss" "$p50" "$p99" "$lmax" "$answers" "$stall" "$stallStart"
  say "$hosts hosts ($mode): connected within ${setup} s; run directory $dir"
  cleanup
  [ "$KEEP" = 1 ] || rm -rf "$dir"
  sleep 2
}

echo "| hosts | console | connected | CPU % of one core | RSS MB | answer latency p50 / p99 / max ms | answers in window | event-loop stall max ms in window (since start) |"
echo "|---|---|---|---|---|---|---|---|"
for n in $HOSTS; do run_one "$n" headless; done
for n in $GUI_HOSTS; do run_one "$n" gui; done
