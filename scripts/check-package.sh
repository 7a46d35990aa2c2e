#!/usr/bin/env bash
# Builds the Debian package, installs it with apt-get, checks the installed files and programs,
# and removes it again, checking that nothing is left. Needs root (or sudo) and changes the
# system's /usr while it runs: for a test machine, not for a workstation in use.
set -euo pipefail
cd "$(dirname "$0")/.."
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive

cmake --preset release >/dev/null
cmake --build --preset release
cpack --preset deb
deb=$(ls build/release/xlt_*_amd64.deb)
echo "== $deb"
dpkg-deb --info "$deb" | sed -n '/Depends/p'

"${sudo_cmd[@]}" apt-get install -y -q "./$deb"
files=$(dpkg -L xlt | while read -r path; do if [ -f "$path" ]; then echo "$path"; fi; done)
echo "$files"
for program in xlt xltctl xlt-sim; do
    [ -x "/usr/bin/$program" ] || { echo "missing /usr/bin/$program"; exit 1; }
done
xltctl --version
xlt-sim --version
desktop-file-validate /usr/share/applications/com.xeltan.XLT.desktop
appstreamcli validate --no-net /usr/share/metainfo/com.xeltan.XLT.metainfo.xml
status=0
QT_QPA_PLATFORM=offscreen HOME=$(mktemp -d) timeout 3 xlt >/dev/null 2>&1 || status=$?
[ "$status" -eq 124 ] || { echo "xlt did not keep running ($status)"; exit 1; }

"${sudo_cmd[@]}" apt-get remove -y -q xlt
left=$(for path in $files; do if [ -e "$path" ]; then echo "$path"; fi; done)
[ -z "$left" ] || { echo "left behind: $left"; exit 1; }
echo "== package installed, checked and removed cleanly"
