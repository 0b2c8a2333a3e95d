#!/bin/sh
# Makes both Debian packages from an existing build, checks them with lintian, installs them
# with dpkg into a scratch root (maintainer scripts run without chroot, on DPKG_ROOT), checks
# what a maintainer finds there, and purges them: nothing may be left behind but the user.
# This machine's own /etc, /usr and users are never touched.
# Usage: packages_test.sh BUILD_DIR SOURCE_DIR VERSION
# Exit 77 (skipped) without its tools or as another user than root; under CI a missing tool
# fails, since CI installs them from ./run's lists.
set -eu
build="$1"; source="$2"; version="$3"
fail() { echo "FAIL: $*" >&2; exit 1; }
skip() {
  [ -z "${CI:-}" ] || fail "$* (CI installs the package test's tools: ./run deps)"
  echo "$*: skipped"; exit 77
}
for tool in cpack dpkg dpkg-deb dpkg-shlibdeps lintian systemd-sysusers systemd-analyze; do
  command -v "$tool" >/dev/null || skip "no $tool"
done
[ "$(id -u)" -eq 0 ] || skip "dpkg --root needs root"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/tarvo-packages.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

# --- the packages
(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" \
   >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log" >&2; fail "cpack"; }
console="$(find "$scratch/out" -maxdepth 1 -name "tarvo-monitor_${version}-*.deb")"
agent="$(find "$scratch/out" -maxdepth 1 -name "tarvo-monitor-agent_${version}-*.deb")"
[ -n "$console" ] && [ -n "$agent" ] || { ls "$scratch/out" >&2; fail "the two packages were not made"; }
for deb in "$console" "$agent"; do
  case "$(dpkg-deb -f "$deb" Maintainer)" in
    *@localhost*|"") fail "$(basename "$deb"): maintainer $(dpkg-deb -f "$deb" Maintainer)" ;;
  esac
done

# --- lintian: no error (warnings are printed for the record)
lintian --fail-on error --tag-display-limit 0 "$console" "$agent" >"$scratch/lintian.log" 2>&1 \
  || { cat "$scratch/lintian.log" >&2; fail "lintian reports errors"; }
sed 's/^/lintian: /' "$scratch/lintian.log"

# --- a scratch root with an empty dpkg database
root="$scratch/root"
mkdir -p "$root/etc" "$root/opt" "$root/usr" "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" \
         "$root/var/lib/dpkg/triggers" "$root/var/log"
: >"$root/var/lib/dpkg/status"
: >"$root/var/lib/dpkg/available"
printf 'root:x:0:0:root:/root:/bin/sh\n' >"$root/etc/passwd"
printf 'root:x:0:\n' >"$root/etc/group"
# Files and links: directories such as /usr or /etc/systemd belong to other packages on a
# real system (the package's own are checked by name after the purge). The user's lines stay.
snapshot() {
  (cd "$root" && find . \( -type f -o -type l \) | grep -v -e '^./var/lib/dpkg' -e '^./var/log/dpkg.log' \
     -e '^./etc/passwd' -e '^./etc/group' -e '^./etc/shadow' -e '^./etc/gshadow' -e '^./etc/.pwd.lock' | sort)
}
snapshot >"$scratch/before"
in_root() { dpkg --root="$root" --force-script-chrootless --force-depends --log=/dev/null "$@"; }
in_root -i "$console" "$agent" >"$scratch/install.log" 2>&1 \
  || { cat "$scratch/install.log" >&2; fail "dpkg -i into the scratch root"; }

# --- what the maintainer finds
grep -q '^tarvo:' "$root/etc/passwd" || fail "no user tarvo: $(cat "$root/etc/passwd")"
grep -q '^tarvo:' "$root/etc/group" || fail "no group tarvo"
for f in etc/tarvo/TarvoMonitorAgent.ini etc/tarvo/TarvoMonitor.ini etc/logrotate.d/tarvo-monitor-agent \
         usr/share/man/man8/TarvoMonitorAgent.8.gz usr/share/man/man1/TarvoMonitor.1.gz \
         usr/share/man/man1/tarvo-wire.1.gz usr/lib/sysusers.d/tarvo-monitor-agent.conf \
         usr/share/doc/tarvo-monitor-agent/copyright usr/share/doc/tarvo-monitor/changelog.Debian.gz \
         usr/lib/systemd/system/tarvo-monitor-headless.service \
         usr/share/doc/tarvo-monitor/examples/alarms/webhook-alarm.sh; do
  [ -f "$root/$f" ] || fail "the installation has no /$f"
done
[ -d "$root/opt/tarvo" ] || fail "no /opt/tarvo for the unit's WorkingDirectory"
conffiles="$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Conffiles}\n' tarvo-monitor-agent)"
case "$conffiles" in *"/etc/tarvo/TarvoMonitorAgent.ini "*) ;; *) fail "not a conffile: $conffiles" ;; esac
[ -L "$root/etc/systemd/system/multi-user.target.wants/tarvo-monitor-agent.service" ] \
  || fail "the agent's unit is not enabled"
[ ! -e "$root/etc/systemd/system/multi-user.target.wants/tarvo-monitor-headless.service" ] \
  || fail "the headless console's unit is enabled before it has a host list"
grep -q "^ExecStart=/usr/bin/TarvoMonitor --headless --dir /var/lib/tarvo-monitor --ini /etc/tarvo/TarvoMonitor.ini --metrics 127.0.0.1:9464\$" \
  "$root/usr/lib/systemd/system/tarvo-monitor-headless.service" || fail "the headless unit's ExecStart"

# The installed agent reads the settings its unit names, which admit no console yet.
out="$(cd "$root/opt/tarvo" && "$root/usr/sbin/TarvoMonitorAgent" --check-config)" \
  || { echo "$out" >&2; fail "--check-config finds the installed settings unusable"; }
echo "$out" | grep -qx "ini file $root/etc/tarvo/TarvoMonitorAgent.ini" \
  || { echo "$out" >&2; fail "--check-config did not read $root/etc/tarvo/TarvoMonitorAgent.ini"; }
echo "$out" | grep -q "admits no client" || { echo "$out" >&2; fail "the installed settings admit a client"; }
if (cd "$root/opt/tarvo" && "$root/usr/sbin/TarvoMonitorAgent" --check-config --ini "$root/etc/tarvo/none.ini" >/dev/null); then
  fail "--check-config of a missing --ini exited 0"
fi
"$root/usr/sbin/TarvoMonitorAgent" --version | grep -q "^TarvoMonitorAgent $version (agent 0228305)" \
  || fail "agent --version: $("$root/usr/sbin/TarvoMonitorAgent" --version)"

# The unit's sandbox: systemd-analyze's exposure below 5.
unit="$root/usr/lib/systemd/system/tarvo-monitor-agent.service"
exposure="$(systemd-analyze security --offline=yes --root="$root" tarvo-monitor-agent.service 2>&1 \
  | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')"
[ -n "$exposure" ] || { systemd-analyze security --offline=yes --root="$root" tarvo-monitor-agent.service >&2 || true; fail "no exposure figure"; }
awk -v e="$exposure" 'BEGIN { exit !(e < 5) }' || fail "the agent unit's exposure is $exposure (5 or more)"
echo "agent unit exposure: $exposure"
[ -f "$unit" ] || fail "no agent unit"

# --- purge: nothing left but the user (system users stay, as in Debian)
in_root --purge tarvo-monitor tarvo-monitor-agent >"$scratch/purge.log" 2>&1 \
  || { cat "$scratch/purge.log" >&2; fail "dpkg --purge"; }
snapshot >"$scratch/after"
diff "$scratch/before" "$scratch/after" >"$scratch/left" || { cat "$scratch/left" >&2; fail "the purge left files behind"; }
for d in etc/tarvo opt/tarvo var/lib/tarvo-monitor var/lib/tarvo-monitor-agent var/log/tarvo-monitor-agent; do
  [ ! -e "$root/$d" ] || fail "the purge left /$d"
done
echo "packages: ok ($(basename "$console"), $(basename "$agent"))"
