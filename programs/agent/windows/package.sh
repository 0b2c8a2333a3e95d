#!/usr/bin/env bash
# Makes the agent's package for Windows hosts from the Windows build: an installer (NSIS) and a
# zip of the same files (TarvoMonitorAgent.exe, the example ini, INSTALL.txt), in
# WIN_BUILD/packages/. Usage: package.sh SOURCE_DIR WIN_BUILD_DIR
set -euo pipefail
root="$1"; build="$2"
here="$root/programs/agent/windows"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[ -n "$version" ] || { echo "package.sh: no project version in $build/CMakeCache.txt" >&2; exit 1; }
name="TarvoMonitorAgent-$version-windows-x64"
stage="$build/package/$name"
out="$build/packages"
rm -rf "$build/package"
mkdir -p "$stage" "$out"
rm -f "$out/TarvoMonitorAgent-"*

# Without the debugging information of the build: a tenth of the size.
x86_64-w64-mingw32-strip -o "$stage/TarvoMonitorAgent.exe" "$build/programs/agent/TarvoMonitorAgent.exe"
# Text files with CR LF, as Windows' editors expect them (the ini stays GBK).
sed 's/\r*$/\r/' "$root/programs/agent/TarvoMonitorAgent.ini.example" >"$stage/TarvoMonitorAgent.ini.example"
{ printf '\xEF\xBB\xBF'; sed 's/\r*$/\r/' "$here/INSTALL.txt"; } >"$stage/INSTALL.txt"

makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$out/TarvoMonitorAgent-$version-setup.exe" \
  "$here/TarvoMonitorAgent.nsi" >"$build/makensis.log" 2>&1 \
  || { cat "$build/makensis.log" >&2; echo "package.sh: makensis failed" >&2; exit 1; }
(cd "$build/package" && zip -q -r -X "$out/$name.zip" "$name")
for file in "$out/TarvoMonitorAgent-$version-setup.exe" "$out/$name.zip"; do
  [ -s "$file" ] || { echo "package.sh: $file was not made" >&2; exit 1; }
  printf '%s\n' "$file"
done
