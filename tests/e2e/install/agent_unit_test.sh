#!/bin/sh
# Installs the agent component into a scratch root and checks its systemd unit: the sandbox
# lines, and that the log directory systemd makes is the one the installed settings write.
# Usage: agent_unit_test.sh BUILD_DIR SOURCE_DIR
set -eu
build="$1"; source="$2"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/tarvo-unit.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$scratch/usr" --component agent >"$scratch/install.log" \
  || { cat "$scratch/install.log" >&2; fail "cmake --install --component agent"; }
unit="$scratch/usr/lib/systemd/system/tarvo-monitor-agent.service"
[ -f "$unit" ] || fail "no unit at $unit"
value() { sed -n "s/^$1=//p" "$unit"; }

for line in "NoNewPrivileges=yes" "ProtectSystem=strict" "KillSignal=SIGTERM"; do
  grep -qxF "$line" "$unit" || fail "the unit has no line \"$line\""
done
dir="$(value ExecStart | sed -n 's/.* --dir \([^ ]*\).*/\1/p')"
[ -n "$dir" ] || fail "ExecStart names no --dir: $(value ExecStart)"
[ "$(value WorkingDirectory)" = "$dir" ] || fail "WorkingDirectory $(value WorkingDirectory) is not --dir $dir"
# The agent writes logs_dir of the installed settings, which systemd makes for the user.
ini="$scratch/etc/tarvo/TarvoMonitorAgent.ini"
[ -f "$ini" ] || fail "no installed settings at $ini"
logs="$(tr -d '\r' <"$ini" | sed -n 's/^logs_dir=//p')"
[ "$logs" = "/var/log/$(value LogsDirectory)/" ] \
  || fail "logs_dir $logs is not the unit's LogsDirectory $(value LogsDirectory)"
# The installed settings admit nobody until a console is named.
tr -d '\r' <"$ini" | sed -n '/^\[ACCESS_CONTROL\]/,/^\[/p' | grep -q '^[^;[].*=' \
  && fail "the installed settings admit a console: $(tr -d '\r' <"$ini" | grep -A3 ACCESS_CONTROL)"
for line in "CapabilityBoundingSet=" "SystemCallFilter=@system-service" "PrivateDevices=yes"; do
  grep -qxF "$line" "$unit" || fail "the unit has no line \"$line\""
done

if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify --man=no "$unit" >"$scratch/verify.log" 2>&1 || true
  if grep -qi 'unknown\|invalid\|failed to parse\|not executable\|missing' "$scratch/verify.log"; then
    cat "$scratch/verify.log" >&2; fail "systemd-analyze finds faults in the unit"
  fi
fi
echo "agent unit: ok"
