#!/bin/sh
# Installs the agent component into a scratch root and checks its systemd unit: the sandbox
# lines, and that the writable log directory is the one the agent writes (--dir + logs/).
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
# The agent writes logs_dir (default ./logs/) taken in --dir, and nothing else.
[ "$(value ReadWritePaths)" = "$dir/logs" ] \
  || fail "ReadWritePaths is \"$(value ReadWritePaths)\", not the log directory $dir/logs"
value ExecStartPre | grep -q "install -d -o $(value User) .* $dir/logs\$" \
  || fail "the log directory is not made for the agent's user before the start: $(value ExecStartPre)"
# The default logs_dir of the example ini is the one the unit opens.
tr -d '\r' <"$source/programs/agent/TarvoMonitorAgent.ini.example" | grep -qx 'logs_dir=./logs/' \
  || fail "the example ini's logs_dir is not ./logs/"

if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify --man=no "$unit" >"$scratch/verify.log" 2>&1 || true
  if grep -qi 'unknown\|invalid\|failed to parse\|not executable\|missing' "$scratch/verify.log"; then
    cat "$scratch/verify.log" >&2; fail "systemd-analyze finds faults in the unit"
  fi
fi
echo "agent unit: ok"
