#!/usr/bin/env bash
# The demo after a SIGKILL of one of its processes: an agent, a simulator, the console, the
# hosts' script or the demo script itself, a random one of its kind. What is left ends with
# the demo (by itself when the console or the demo script went, by SIGTERM otherwise): no
# process left, every port free, and the next start works without any manual step.
# Usage: demo_kill_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
BUILD="$(cd "${1:?usage: demo_kill_test.sh BUILD_DIR SOURCE_DIR}" && pwd)"
SOURCE="$(cd "${2:?usage: demo_kill_test.sh BUILD_DIR SOURCE_DIR}" && pwd)"
HOSTS=2
WORK="$(mktemp -d /tmp/tarvo-demo-kill.XXXXXX)"
DEMO_DIR="$WORK/demo"
demo=""
OUT=""

fail() {
  echo "FAIL: $*"
  [ -n "$OUT" ] && { echo "---- demo output"; tail -n 40 "$OUT" 2>/dev/null; }
  exit 1
}
finish() {
  [ -n "$demo" ] && kill -TERM "$demo" 2>/dev/null && sleep 2
  for pid in $(pgrep -f "$WORK/" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
  rm -rf "$WORK"
}
trap finish EXIT

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

# Starts the demo headless and waits until every host shows 已连接 with both programs.
start_demo() {
  OUT="$WORK/out-$1.txt"
  env -u DISPLAY -u WAYLAND_DISPLAY TARVO_DEMO_DIR="$DEMO_DIR" \
    "$SOURCE/tools/demo.sh" "$BUILD" --hosts $HOSTS --port "$port" > "$OUT" 2>&1 &
  demo=$!
  local tries k missing
  for tries in $(seq 1 100); do
    missing=0
    for k in $(seq 1 $HOSTS); do
      grep -aEq "(^|报盘机 )127\\.0\\.0\\.$k +报盘机$k +已连接 +运行 +运行" "$OUT" || missing=1
    done
    [ $missing -eq 0 ] && return 0
    kill -0 "$demo" 2>/dev/null || fail "start $1: the demo ended at start"
    sleep 0.2
  done
  fail "start $1: not every host connected within 20 s"
}

# PID of a random process of the demo of kind $1.
victim_of() {
  local host=$((1 + RANDOM % HOSTS)) pids
  case "$1" in
    agent) pids="$(pgrep -f "TarvoMonitorAgent --dir $DEMO_DIR/hosts/host-$host ")" ;;
    simulator)
      local program=Tarvo_ASHR.exe
      [ $((RANDOM % 2)) -eq 1 ] && program=Tarvo_BSHR.exe
      pids="$(pgrep -f "$DEMO_DIR/hosts/host-$host/$program")" ;;
    console) pids="$(cat "$DEMO_DIR/console.pid" 2>/dev/null)" ;;
    hosts-script) pids="$(pgrep -o -f "demo-agents.sh $BUILD .*--dir $DEMO_DIR/hosts")" ;;
    demo-script) pids="$demo" ;;
  esac
  echo "$pids" | head -n 1
}

# Waits up to $1 tenths of a second for the demo script to end.
demo_ends_within() {
  local tries
  for tries in $(seq 1 "$1"); do kill -0 "$demo" 2>/dev/null || return 0; sleep 0.1; done
  return 1
}

nothing_left() {
  local tries left k
  for tries in $(seq 1 50); do
    left="$(pgrep -fa "$WORK/" | grep -v "demo_kill_test")"
    [ -z "$left" ] && break
    sleep 0.2
  done
  [ -z "$left" ] || fail "after killing the $1: processes left: $left"
  for k in $(seq 1 $HOSTS); do
    listens "127.0.0.$k:$port" && fail "after killing the $1: 127.0.0.$k:$port still listens"
  done
  return 0
}

round=0
for kind in agent simulator console hosts-script demo-script; do
  round=$((round + 1))
  start_demo "$round"
  pid="$(victim_of "$kind")"
  [ -n "$pid" ] || fail "no $kind process found"
  kill -KILL "$pid" || fail "could not kill the $kind ($pid)"
  case "$kind" in
    console|hosts-script|demo-script)
      # Nobody is left to stop: what remains stops by itself.
      demo_ends_within 150 || fail "the demo did not end within 15 s of killing the $kind" ;;
    *)
      sleep 0.5
      kill -0 "$demo" 2>/dev/null || fail "the demo ended after the $kind was killed"
      kill -TERM "$demo"
      demo_ends_within 100 || fail "the demo did not end within 10 s of SIGTERM" ;;
  esac
  wait "$demo" 2>/dev/null
  demo=""
  nothing_left "$kind"
  echo "killed the $kind ($pid): everything ended, nothing left"
done

# And one more start after the last kill.
start_demo last
kill -TERM "$demo"
demo_ends_within 100 || fail "the last demo did not end within 10 s of SIGTERM"
wait "$demo" 2>/dev/null
demo=""
nothing_left "last run"
echo "PASS: the demo on port $port survived a SIGKILL of each of its kinds of process and started again each time"
