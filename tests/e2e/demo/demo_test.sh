#!/usr/bin/env bash
# Runs tools/demo.sh headless on a port of its own for a few seconds: every host connects, host 1 is
# the production host, --stop-pbu stops a PBU, and SIGTERM ends the demo with nothing left.
# Usage: demo_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
BUILD="$(cd "${1:?usage: demo_test.sh BUILD_DIR SOURCE_DIR}" && pwd)"
SOURCE="$(cd "${2:?usage: demo_test.sh BUILD_DIR SOURCE_DIR}" && pwd)"
HOSTS=3
WORK="$(mktemp -d /tmp/tarvo-demo-test.XXXXXX)"
OUT="$WORK/out.txt"
demo=""

fail() {
  echo "FAIL: $*"
  echo "---- demo output"
  cat "$OUT" 2>/dev/null | tail -n 60
  exit 1
}
finish() {
  # A failed test still leaves nothing behind.
  [ -n "$demo" ] && kill -TERM "$demo" 2>/dev/null && sleep 3
  for pid in $(pgrep -f "$WORK/" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
  rm -rf "$WORK"
}
trap finish EXIT

# A port free on every host's address, away from the demo's usual 10012 and its neighbours.
# awk reads all of ss's output: a grep -q that stopped early would fail the pipe (pipefail)
# when other programs hold thousands of sockets.
listens() { ss -ltnH 2>/dev/null | awk -v a="$1" '$4 == a { f = 1 } END { exit !f }'; }
port_used() {
  ss -tanH 2>/dev/null | awk -v p=":$1" \
    'substr($4, length($4) - length(p) + 1) == p { f = 1 } END { exit !f }'
}
ephemeral_low=32768
read -r low _ < /proc/sys/net/ipv4/ip_local_port_range 2>/dev/null && [ "$low" -gt 21000 ] \
  && ephemeral_low=$low
port=""
for try in $(seq 1 50); do
  # Below the ephemeral range, where the outgoing connections of other programs take theirs.
  candidate=$((20000 + RANDOM % (ephemeral_low - 20000)))
  port_used "$candidate" && continue
  port=$candidate
  break
done
[ -n "$port" ] || fail "no free port"

env -u DISPLAY -u WAYLAND_DISPLAY TARVO_DEMO_DIR="$WORK/demo" \
  "$SOURCE/tools/demo.sh" "$BUILD" --hosts $HOSTS --port "$port" > "$OUT" 2>&1 &
demo=$!

# Waits up to $1 seconds for the console's output to show every pattern given.
wait_for() {
  local seconds="$1" tries pattern missing
  shift
  for tries in $(seq 1 $((seconds * 5))); do
    missing=0
    for pattern in "$@"; do grep -aEq "$pattern" "$OUT" || missing=1; done
    [ $missing -eq 0 ] && return 0
    kill -0 "$demo" 2>/dev/null || return 1
    sleep 0.2
  done
  return 1
}

# Into a file the tables come whole once, then one line for each row that changed
# ("<stamp> 报盘机 <row>", "<stamp> PBU <row>").
row='(^|报盘机 )'
connected=()
for k in $(seq 1 $HOSTS); do connected+=("${row}127\\.0\\.0\\.$k +报盘机$k +已连接 +运行 +运行"); done
wait_for 15 "${connected[@]}" || fail "not every host shows 已连接 with both programs running"
wait_for 2 "${row}127\\.0\\.0\\.1 +报盘机1 +已连接.*生产环境" "${row}127\\.0\\.0\\.2 +报盘机2 +已连接.*测试环境\\[01\\]" \
  || fail "host 1 is not the production host, or host 2 not test environment 01"
grep -aq "agent on 127.0.0.1:$port" "$OUT" || fail "the demo does not name its port $port"
for k in $(seq 1 $HOSTS); do
  grep -aq ",127\.0\.0\.$k,$port," "$WORK/demo/TarvoMonitor.CFG" \
    || fail "the host list does not carry host $k on port $port"
done
for k in $(seq 1 $HOSTS); do
  listens "127.0.0.$k:$port" || fail "no agent listens on 127.0.0.$k:$port"
done

# The metrics the demo announces carry every host.
metrics_port=$(grep -aoE 'curl -s 127\.0\.0\.1:[0-9]+/metrics' "$OUT" | head -1 | sed -E 's/.*:([0-9]+)\/metrics/\1/')
[ -n "$metrics_port" ] || fail "the demo does not announce its metrics"
scrape() {
  exec 5<>"/dev/tcp/127.0.0.1/$metrics_port" || return 1
  printf 'GET /metrics HTTP/1.0\r\n\r\n' >&5
  cat <&5
  exec 5<&-
}
# The metrics follow the polls, the tables a connection at once: wait for the first poll.
all_up() {
  local text k
  text=$(scrape) || return 1
  for k in $(seq 1 $HOSTS); do
    grep -q "^tarvo_host_up{.*host=\"127.0.0.$k\",.*} 1" <<<"$text" || return 1
  done
}
for _ in $(seq 1 60); do all_up && break; sleep 0.2; done
all_up || fail "the metrics on port $metrics_port do not show every host up"

# --stop-pbu from another terminal: the second PBU of host 1's program A stops.
TARVO_DEMO_DIR="$WORK/demo" "$SOURCE/tools/demo.sh" "$BUILD" --stop-pbu > "$WORK/stop.txt" 2>&1 \
  || fail "--stop-pbu failed: $(cat "$WORK/stop.txt")"
wait_for 12 "(^|PBU )127\\.0\\.0\\.1 +A股报盘程序 +A0000 +000002 +运行 +停止" \
  || fail "the stopped PBU does not show 停止"

kill -TERM "$demo"
for tries in $(seq 1 50); do kill -0 "$demo" 2>/dev/null || break; sleep 0.2; done
kill -0 "$demo" 2>/dev/null && fail "the demo did not end within 10 s of SIGTERM"
wait "$demo" 2>/dev/null
demo=""
sleep 0.5
left="$(pgrep -fa "$WORK/")"
[ -z "$left" ] || fail "processes left after SIGTERM: $left"
for k in $(seq 1 $HOSTS); do
  listens "127.0.0.$k:$port" && fail "127.0.0.$k:$port still listens"
done
echo "PASS: $HOSTS hosts connected on port $port, a PBU stopped, nothing left after SIGTERM"
