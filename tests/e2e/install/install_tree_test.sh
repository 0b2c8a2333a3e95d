#!/bin/sh
# Installs the console and agent components into scratch roots and checks what they hold:
# the programs answer --version, the desktop entry, icon, example ini and the unit's paths.
# Usage: install_tree_test.sh BUILD_DIR SOURCE_DIR VERSION
set -eu
build="$1"; source="$2"; version="$3"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/tarvo-install.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
install_component() { # PREFIX COMPONENT
  cmake --install "$build" --prefix "$1" --component "$2" >"$scratch/install-$2.log" \
    || { cat "$scratch/install-$2.log" >&2; fail "cmake --install --component $2"; }
}

console="$scratch/console/usr"
agent="$scratch/agent/usr"
install_component "$console" console
install_component "$agent" agent

# The console component: TarvoMonitor, tarvo-wire, the desktop entry and the icon only.
out="$(QT_QPA_PLATFORM=offscreen "$console/bin/TarvoMonitor" --version)" \
  || fail "TarvoMonitor --version exited $?"
case "$out" in "TarvoMonitor $version "*) ;; *) fail "TarvoMonitor --version printed: $out" ;; esac
out="$("$console/bin/tarvo-wire" --version)" || fail "tarvo-wire --version exited $?"
case "$out" in *"$version"*) ;; *) fail "tarvo-wire --version printed: $out" ;; esac

desktop="$console/share/applications/tarvo-monitor.desktop"
[ -f "$desktop" ] || fail "no desktop entry at $desktop"
for line in "[Desktop Entry]" "Type=Application" "Name=Tarvo报盘机监控系统" "Exec=TarvoMonitor" \
            "Icon=tarvo-monitor"; do
  grep -qxF "$line" "$desktop" || fail "the desktop entry has no line \"$line\""
done
grep -q '^Categories=.*;$' "$desktop" || fail "the desktop entry has no Categories list"
# The desktop entry must be clean for the desktop's tools (CI installs them).
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
elif [ -n "${CI:-}" ]; then
  fail "no desktop-file-validate (./run deps installs desktop-file-utils)"
fi
for page in share/man/man1/TarvoMonitor.1.gz share/man/man1/tarvo-wire.1.gz; do
  [ -f "$console/$page" ] || fail "the console component has no $page"
done
[ -f "$agent/share/man/man8/TarvoMonitorAgent.8.gz" ] || fail "the agent component has no man page"
icon="$console/share/icons/hicolor/scalable/apps/tarvo-monitor.svg"
[ -f "$icon" ] || fail "no icon at $icon"
grep -q '<svg' "$icon" || fail "the icon is not an SVG image"
[ ! -e "$console/sbin/TarvoMonitorAgent" ] || fail "the console component holds the agent"
[ ! -e "$console/lib/systemd/system/tarvo-monitor-agent.service" ] || fail "the console component holds the agent's unit"
[ -f "$console/lib/systemd/system/tarvo-monitor-headless.service" ] || fail "the console component has no headless unit"

# The agent component: TarvoMonitorAgent, its unit and the example ini; nothing of the console.
out="$("$agent/sbin/TarvoMonitorAgent" --version)" || fail "TarvoMonitorAgent --version exited $?"
case "$out" in "TarvoMonitorAgent "*) ;; *) fail "TarvoMonitorAgent --version printed: $out" ;; esac
for f in bin/TarvoMonitor bin/tarvo-wire bin/oes-sim share/applications; do
  [ ! -e "$agent/$f" ] || fail "the agent component holds $f"
done
example="$agent/share/doc/tarvo-monitor-agent/examples/TarvoMonitorAgent.ini.example"
cmp -s "$example" "$source/programs/agent/TarvoMonitorAgent.ini.example" \
  || fail "the example ini at $example is missing or differs from the source"

unit="$agent/lib/systemd/system/tarvo-monitor-agent.service"
[ -f "$unit" ] || fail "no unit at $unit"
! grep -q '@[A-Z_]*@' "$unit" || fail "the unit has unreplaced placeholders: $(grep '@[A-Z_]*@' "$unit")"
grep -qxF "ExecStart=$agent/sbin/TarvoMonitorAgent --dir /opt/tarvo --ini $scratch/agent/etc/tarvo/TarvoMonitorAgent.ini" \
  "$unit" || fail "the unit does not start the installed agent: $(grep ExecStart "$unit")"
exe="$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit")"
[ -x "$exe" ] || fail "the unit's ExecStart $exe is not an executable"
grep -qF "$agent/share/doc/tarvo-monitor-agent/examples/TarvoMonitorAgent.ini.example" "$unit" \
  || fail "the unit does not point at the installed example ini"

# Installed under DESTDIR (as a package is made), the unit names the final paths, not DESTDIR.
DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr --component agent \
  >"$scratch/install-destdir.log" || { cat "$scratch/install-destdir.log" >&2; fail "DESTDIR install"; }
unit="$scratch/root/usr/lib/systemd/system/tarvo-monitor-agent.service"
grep -qxF "ExecStart=/usr/sbin/TarvoMonitorAgent --dir /opt/tarvo --ini /etc/tarvo/TarvoMonitorAgent.ini" \
  "$unit" || fail "the DESTDIR unit names: $(grep ExecStart "$unit" || echo nothing)"
[ -x "$scratch/root/usr/sbin/TarvoMonitorAgent" ] || fail "no agent under DESTDIR"
if command -v systemd-analyze >/dev/null; then
  # The unit's syntax and its executable (the user and /opt/tarvo need not exist here).
  unit="$agent/lib/systemd/system/tarvo-monitor-agent.service"
  systemd-analyze verify --man=no "$unit" >"$scratch/verify.log" 2>&1 || true
  if grep -qi 'unknown\|invalid\|failed to parse\|not executable\|missing' "$scratch/verify.log"; then
    cat "$scratch/verify.log" >&2; fail "systemd-analyze finds faults in the unit"
  fi
fi
echo "install tree: ok"
