#!/usr/bin/env bash
# The Linux console against the Windows agent and the Windows program simulator under wine, on
# the loopback: `--once` shows "已连接", both programs running and the PBU rows, a second one
# their counters grown, and a headless console a PBU stopped through the simulator as
# "停止"; a troubleshooting run (AgentVersion, CheckCfgFile, CheckCS) sent with tarvo-wire is
# answered. Usage: console_against_wine.sh BUILD_DIR WIN_BUILD_DIR WINE
# (WINEPREFIX set and wine's services running, as `./run test-windows` does).
set -euo pipefail
build="$(cd "$1" && pwd)"; win="$(cd "$2" && pwd)"; wine="$3"
console="$build/programs/monitor/TarvoMonitor"
wire="$build/tools/wire/tarvo-wire"
work="$(mktemp -d "${TMPDIR:-/tmp}/tarvo-wine-e2e.XXXXXX")"
inst="$work/inst"
pids=()
cleanup() {
  local pid
  for pid in ${pids[@]+"${pids[@]}"}; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in "$inst/logs/TarvoMonitorAgent.log" "$work"/*.out; do
    [ -f "$f" ] && { echo "--- $f" >&2; tail -n 30 "$f" >&2; }
  done
  exit 1
}
ok() { echo "ok: $*"; }
# Waits up to $1 tenths of a second for the command after it to succeed.
within() {
  local tenths="$1"; shift
  for _ in $(seq 1 "$tenths"); do "$@" && return 0; sleep 0.1; done
  return 1
}
utf8() { printf '%s' "$1"; }

# The installation, laid out by the Windows simulator itself: Tarvo_ASHR.exe and
# Tarvo_BSHR.exe are its copies, so wine's process list shows the programs by those names.
"$wine" "$win/tools/oes-sim/oes-sim.exe" --install "Z:$inst" --operators 2 --access 127.0.0.1 \
  >"$work/install.out" 2>&1 || fail "the simulator could not lay out the installation"
for program in Tarvo_ASHR.exe Tarvo_BSHR.exe; do
  (cd "$inst" && exec "$wine" "./$program" --interval-ms 200 >"$work/$program.out" 2>&1) &
  pids+=($!)
done
# The agent in the installation's folder, beside its TarvoMonitorAgent.ini. Port 0: it takes a
# free port and names it in its log.
cp "$win/programs/agent/TarvoMonitorAgent.exe" "$inst/"
(cd "$inst" && exec "$wine" ./TarvoMonitorAgent.exe --dir . --bind 127.0.0.1 --port 0 \
   --watch-ms 200 >"$work/agent.out" 2>&1) &
pids+=($!)
log="$inst/logs/TarvoMonitorAgent.log"
within 300 grep -q "listening on 127.0.0.1:" "$log" 2>/dev/null || fail "the agent does not listen"
port="$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\),.*/\1/p' "$log" | tail -1)"
ok "the Windows agent listens on 127.0.0.1:$port under wine"

mkdir -p "$work/console"
printf 'wine,127.0.0.1,%s,N,N,0,\r\n' "$port" >"$work/console/TarvoMonitor.CFG"
printf '[Interval]\r\nTime=1\r\n[Log]\r\nDebug=OFF\r\n' >"$work/console/TarvoMonitor.ini"
export QT_QPA_PLATFORM=offscreen
run_console() {
  "$console" --dir "$work/console" --ini "$work/console/TarvoMonitor.ini" \
    --instance "tarvo-wine-e2e-$$" "$@"
}

# --once, after both programs have written their status files.
within 300 test -s "$inst/monitor/BSHR_status.txt" || fail "the simulator writes no status file"
once_ok() {
  run_console --once --timeout 15 >"$work/once.out" 2>&1 || return 1
  grep -q "已连接" "$work/once.out" && [ "$(grep -o "运行" "$work/once.out" | wc -l)" -ge 2 ] &&
    grep -q "A0000 *000002" "$work/once.out" && grep -q "B0000 *000001" "$work/once.out"
}
within 3 once_ok || fail "--once did not show the host connected with both programs running"
ok "--once: 已连接, both programs 运行, the PBU rows of both programs"

# A second --once a moment later: the simulator's counters have grown. (The headless console
# into a file prints a row again only when its state changes, not for its counters.)
# The table shows a PBU as its first five characters and the operator code as the rest.
first="$(grep "A0000 *000001" "$work/once.out")"
grown() {
  run_console --once --timeout 15 >"$work/once2.out" 2>&1 || return 1
  local second
  second="$(grep "A0000 *000001" "$work/once2.out")"
  [ -n "$second" ] && [ "$second" != "$first" ]
}
within 30 grown || fail "the PBU counters do not grow from one --once to the next"
ok "--once again: the PBU counters have grown"

# Headless: the host connected, then a PBU stopped through the simulator shows "停止".
(exec "$console" --dir "$work/console" --ini "$work/console/TarvoMonitor.ini" \
   --instance "tarvo-wine-e2e-$$" --headless >"$work/headless.out" 2>&1) &
headless=$!
pids+=("$headless")
shown() { grep -q "A0000 *000002.*运行" "$work/headless.out"; }
within 300 shown || fail "the headless console shows no PBU row"
printf 'A0000000002\n' >"$inst/monitor/ASHR_sim.txt"
stopped() { grep "A0000 *000002" "$work/headless.out" | tail -1 | grep -q "停止"; }
within 300 stopped || fail "the stopped PBU is not shown as 停止"
ok "headless: PBU A0000000002 stopped through the simulator shows 停止"
kill -TERM "$headless"
wait "$headless" || fail "the headless console did not end cleanly on SIGTERM"
grep -q "Monitor正常退出" "$work/headless.out" || fail "the headless console did not say goodbye"

# A troubleshooting run, its requests encoded by tarvo-wire.
request() {
  printf '{"version":"Tarvo1.20","orientation":"C","messageType":"19","sequence":"%s","fields":{"serviceType":"TroubleShooting","ShootingType":"%s"}}\n' "$1" "$2"
}
{ request 1 AgentVersion; request 2 CheckCfgFile; request 3 CheckCS; } | "$wire" encode >"$work/requests.bin" \
  || fail "tarvo-wire cannot encode the requests"
exec 3<>"/dev/tcp/127.0.0.1/$port"
cat "$work/requests.bin" >&3
timeout 5 cat <&3 >"$work/answers.bin" || true
exec 3<&- 3>&-
"$wire" decode <"$work/answers.bin" >"$work/answers.jsonl" 2>/dev/null || true
answered() { grep '"messageType":"20","sequence":"'"$1"'"' "$work/answers.jsonl" | grep -q "$2"; }
answered 1 '"result":"0228305"' || fail "AgentVersion not answered: $(cat "$work/answers.jsonl")"
answered 2 '"result":"OK"' || fail "CheckCfgFile not answered OK: $(cat "$work/answers.jsonl")"
answered 3 "端口10005" || fail "CheckCS not answered: $(cat "$work/answers.jsonl")"
ok "troubleshooting: AgentVersion 0228305, CheckCfgFile OK, CheckCS reports port 10005"
