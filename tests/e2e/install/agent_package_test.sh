#!/bin/sh
# Makes the agent's Debian package from an existing build and checks its control data and files.
# Usage: agent_package_test.sh BUILD_DIR VERSION  (skipped, exit 77, without cpack or dpkg-deb)
set -eu
build="$1"; version="$2"
for tool in cpack dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "no $tool: skipped"; exit 77; }
done
scratch="$(mktemp -d "${TMPDIR:-/tmp}/tarvo-package.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# cpack first brings the build up to date (ninja preinstall), then installs the agent only.
(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" \
   -D CPACK_COMPONENTS_ALL=agent >"$scratch/cpack.log" 2>&1) \
  || { cat "$scratch/cpack.log" >&2; fail "cpack"; }
deb="$(find "$scratch/out" -maxdepth 1 -name 'tarvo-monitor-agent_*.deb')"
[ -n "$deb" ] || { cat "$scratch/cpack.log" >&2; fail "no tarvo-monitor-agent package made"; }
[ "$(find "$scratch/out" -maxdepth 1 -name '*.deb' | wc -l)" -eq 1 ] || fail "more than one package"

[ "$(dpkg-deb -f "$deb" Package)" = tarvo-monitor-agent ] || fail "package name"
case "$(dpkg-deb -f "$deb" Version)" in "$version"*) ;; *) fail "version $(dpkg-deb -f "$deb" Version)" ;; esac
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "no libc6 in Depends: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -f "$deb" Depends | grep -qi 'qt6' && fail "the agent depends on Qt: $(dpkg-deb -f "$deb" Depends)"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"

dpkg-deb -c "$deb" >"$scratch/contents"
for f in ./usr/sbin/TarvoMonitorAgent ./usr/lib/systemd/system/tarvo-monitor-agent.service \
         ./usr/share/doc/tarvo-monitor-agent/examples/TarvoMonitorAgent.ini.example; do
  grep -q " $f\$" "$scratch/contents" || { cat "$scratch/contents" >&2; fail "the package lacks $f"; }
done
grep -q 'TarvoMonitor$\|tarvo-wire$\|\.desktop$' "$scratch/contents" && fail "console files in the agent package"
dpkg-deb -x "$deb" "$scratch/root"
grep -qxF "ExecStart=/usr/sbin/TarvoMonitorAgent --dir /opt/tarvo --ini /etc/tarvo/TarvoMonitorAgent.ini" \
  "$scratch/root/usr/lib/systemd/system/tarvo-monitor-agent.service" \
  || fail "the packaged unit names: $(grep ExecStart "$scratch/root/usr/lib/systemd/system/tarvo-monitor-agent.service")"
for line in "NoNewPrivileges=yes" "ProtectSystem=strict" "LogsDirectory=tarvo-monitor-agent"; do
  grep -qxF "$line" "$scratch/root/usr/lib/systemd/system/tarvo-monitor-agent.service" \
    || fail "the packaged unit has no line \"$line\""
done
echo "agent package: ok ($(basename "$deb"))"
