#!/usr/bin/env bash
# Runs the Windows installer as an operator would, silently under wine, into a folder of its
# own: the files are there, the ini is made from the example, the service TarvoMonitorAgent is
# registered for that folder; the uninstaller removes it again and keeps the settings.
# Usage: installer_test.sh WIN_BUILD_DIR WINE   (WINEPREFIX set, wine's services running)
set -euo pipefail
build="$1"; wine="$2"
fail() { echo "installer test: $*" >&2; exit 1; }
setup="$(ls "$build"/packages/TarvoMonitorAgent-*-setup.exe | head -1)"
[ -f "$setup" ] || fail "no installer in $build/packages"
target='C:\tarvo-installer-test'
unix="$WINEPREFIX/drive_c/tarvo-installer-test"
key='HKLM\System\CurrentControlSet\Services\TarvoMonitorAgent'
rm -rf "$unix"

"$wine" "$setup" /S "/D=$target" || fail "the installer failed"
for file in TarvoMonitorAgent.exe TarvoMonitorAgent.ini TarvoMonitorAgent.ini.example INSTALL.txt \
            Uninstall-TarvoMonitorAgent.exe; do
  [ -f "$unix/$file" ] || fail "$file was not installed"
done
image="$("$wine" reg query "$key" /v ImagePath 2>/dev/null | tr -d '\r')" || true
case "$image" in
  *'C:\tarvo-installer-test\TarvoMonitorAgent.exe --service --dir C:\tarvo-installer-test') ;;
  *) fail "the service is not registered for $target: $image" ;;
esac
echo "installer test: installed into $target, service registered: ${image##*REG_*SZ    }"

"$wine" "$unix/Uninstall-TarvoMonitorAgent.exe" /S "_?=$target" || fail "the uninstaller failed"
# The service manager drops a removed service's key once its last handle is closed.
for _ in $(seq 1 100); do
  "$wine" reg query "$key" >/dev/null 2>&1 || break
  sleep 0.1
done
"$wine" reg query "$key" >/dev/null 2>&1 && fail "the service is still registered"
[ -f "$unix/TarvoMonitorAgent.exe" ] && fail "the uninstaller left TarvoMonitorAgent.exe"
[ -f "$unix/TarvoMonitorAgent.ini" ] || fail "the uninstaller removed the settings"
rm -rf "$unix"
echo "installer test: uninstalled, the settings kept"
