#!/usr/bin/env bash
# Builds XLT for 64-bit Windows on this Debian machine and makes its installer:
#   1. qtbase (Core, Gui, Widgets) cross-built with MinGW-w64 from Debian's source package, once,
#      into a cache folder that later runs reuse;
#   2. xlt.exe and xltctl.exe against it, with an icon made from resources/xlt.svg and version
#      information;
#   3. a folder with the programs, the Qt DLLs, the qwindows platform plugin and the MinGW runtime,
#      and an NSIS installer (XLT-<version>-setup.exe) made from it;
#   4. unless --no-check: under Wine, a silent install, `xltctl --version`, `identity`,
#      `config read` and `identity --all` against the emulator on a Wine COM port (timed beside
#      Linux's xltctl), screenshots of the main window and of the monitor during a run under
#      Xvfb (build/windows/screenshots), and a silent removal.
# Installs what it needs through apt-get (as root or with sudo). Prints its times and sizes.
#   scripts/build-windows.sh [--qt-only] [--no-check]
#   XLT_WIN_CACHE=dir   the Qt cache (default ~/.cache/xlt-windows)
#   XLT_WIN_OUT=dir     the build and its results (default build/windows)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$SECONDS
qt_only=0
check=1
for arg in "$@"; do
  case $arg in
    --qt-only) qt_only=1 ;;
    --no-check) check=0 ;;
    *) echo "usage: scripts/build-windows.sh [--qt-only] [--no-check]" >&2; exit 2 ;;
  esac
done
cache=${XLT_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/xlt-windows}
out=${XLT_WIN_OUT:-$root/build/windows}
mkdir -p "$cache" "$out"
cache=$(cd "$cache" && pwd)
out=$(cd "$out" && pwd)
jobs=$(nproc)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
as_root() { "${sudo_cmd[@]}" "$@"; }

step() { printf '== windows build: %s (%d s) ==\n' "$1" $((SECONDS - started)); }

# --- packages ------------------------------------------------------------------------------------
step packages
scripts/setup.sh
extra=(nsis librsvg2-bin icoutils imagemagick xdotool)
missing=()
for p in "${extra[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# --- Qt for MinGW, once --------------------------------------------------------------------------
# Debian serves qtbase's source but no Qt for MinGW, and neither the serial-port, SVG nor Charts
# sources: the Windows program has its own serial link, an icon made here from the SVG, and no
# reply-time plot.
qt_version=6.4.2
qt=$cache/qt-$qt_version-mingw64
# What the Qt build is made with; a change to this list builds it again.
qt_options=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=ON
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF
  -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF -DFEATURE_xml=OFF
  -DFEATURE_dbus=OFF -DFEATURE_testlib=OFF -DFEATURE_concurrent=OFF
  -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_opengl_dynamic=OFF -DFEATURE_vulkan=OFF
  # The Debian tarball leaves out 3rdparty/wintab, which tablet events need.
  -DFEATURE_tabletevent=OFF
  # The DirectWrite font database that qwindows links is built only with direct2d.
  -DFEATURE_direct2d=ON
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
  -DFEATURE_system_doubleconversion=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF
  -DFEATURE_icu=OFF -DFEATURE_zstd=OFF
)
qt_stamp="$qt_version ${qt_options[*]} $(x86_64-w64-mingw32-g++-posix --version | head -n1)"

if [ -f "$qt/xlt-stamp" ] && [ "$(cat "$qt/xlt-stamp")" = "$qt_stamp" ]; then
  step "Qt $qt_version for MinGW from the cache $qt"
else
  step "Qt $qt_version for MinGW: fetching Debian's source package"
  qt_started=$SECONDS
  # apt-get source needs a deb-src line for the archive the machine already uses.
  if ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -qx Sources; then
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    as_root tee /etc/apt/sources.list.d/xlt-deb-src.sources >/dev/null <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    as_root apt-get update -qq
  fi
  rm -rf "$cache/src" "$cache/qt-build" "$qt"
  mkdir -p "$cache/src"
  (cd "$cache/src" && apt-get source -q qt6-base > "$cache/qt-source.log" 2>&1) ||
    { tail -n 20 "$cache/qt-source.log" >&2; exit 1; }
  qt_src=$(find "$cache/src" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)
  [ -n "$qt_src" ] || { echo "build-windows: apt-get source qt6-base left no source folder" >&2; exit 1; }

  step "Qt $qt_version for MinGW: building (about 25 minutes on two cores)"
  cmake -S "$qt_src" -B "$cache/qt-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$qt" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    "${qt_options[@]}" > "$cache/qt-configure.log" 2>&1 ||
    { tail -n 40 "$cache/qt-configure.log" >&2; exit 1; }
  cmake --build "$cache/qt-build" --parallel "$jobs" > "$cache/qt-build.log" 2>&1 ||
    { grep -m 20 -B 2 -A 12 'error' "$cache/qt-build.log" >&2 || tail -n 40 "$cache/qt-build.log" >&2; exit 1; }
  cmake --install "$cache/qt-build" > /dev/null
  printf '%s' "$qt_stamp" > "$qt/xlt-stamp"
  rm -rf "$cache/qt-build" "$cache/src"
  printf 'windows build: Qt built in %d s, %s installed\n' $((SECONDS - qt_started)) "$(du -sh "$qt" | cut -f1)"
fi
[ "$qt_only" -eq 0 ] || exit 0

# --- the programs --------------------------------------------------------------------------------
step "xlt.exe and xltctl.exe"
version=$(sed -n 's/^project(XLT VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Qt's toolchain file finds Qt in its own folder, then hands over to the project's.
cmake -S . -B "$out/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw64.cmake" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_BUILD_TYPE=Release -DXLT_WERROR=ON \
  -DCMAKE_EXE_LINKER_FLAGS=-s "${launcher[@]}" >/dev/null
# -s above: the programs stripped; they use the MinGW runtime DLLs, as Qt's DLLs do.
cmake --build "$out/build" --target xlt xltctl

# --- the folder that is installed ----------------------------------------------------------------
step "staging"
stage=$out/stage
rm -rf "$stage"
mkdir -p "$stage/platforms" "$stage/styles"
cp "$out/build/src/xlt.exe" "$out/build/cli/xltctl.exe" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
if [ -f "$qt/plugins/styles/qwindowsvistastyle.dll" ]; then
  cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
fi
# Every DLL the staged files need that is not part of Windows: Qt's and MinGW's runtime, found
# by following the import tables.
gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
dll_dirs=("$qt/bin" "$gcc_dir" /usr/x86_64-w64-mingw32/lib)
imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\tDLL Name: //p'; }
pending=("$stage"/*.exe "$stage"/platforms/*.dll "$stage"/styles/*.dll)
while [ ${#pending[@]} -gt 0 ]; do
  file=${pending[0]}
  pending=("${pending[@]:1}")
  [ -f "$file" ] || continue
  for dll in $(imports "$file"); do
    [ -f "$stage/$dll" ] && continue
    for dir in "${dll_dirs[@]}"; do
      if [ -f "$dir/$dll" ]; then
        cp "$dir/$dll" "$stage/"
        pending+=("$stage/$dll")
        break
      fi
    done
  done
done
x86_64-w64-mingw32-strip --strip-unneeded "$stage"/*.dll "$stage"/*/*.dll
# The installer's lists: a File line per staged file, and the matching Delete lines.
lists=$out/lists
mkdir -p "$lists"
: >"$lists/files.nsh"
: >"$lists/uninstall-files.nsh"
(cd "$stage" && find . -type d | sort) | while read -r dir; do
  rel=${dir#.}
  rel=${rel#/}
  win=${rel//\//\\}
  target='$INSTDIR'${rel:+\\$win}
  printf 'SetOutPath "%s"\n' "$target" >>"$lists/files.nsh"
  find "$stage/$rel" -maxdepth 1 -type f | sort | while read -r file; do
    printf 'File "%s"\n' "$file" >>"$lists/files.nsh"
    printf 'Delete "%s\\%s"\n' "$target" "$(basename "$file")" >>"$lists/uninstall-files.nsh"
  done
  [ -z "$rel" ] || printf 'RMDir "%s"\n' "$target" >>"$lists/uninstall-files.nsh.dirs"
done
printf 'SetOutPath "$INSTDIR"\n' >>"$lists/files.nsh"
# Folders after their files, deepest first.
sort -r "$lists/uninstall-files.nsh.dirs" >>"$lists/uninstall-files.nsh" 2>/dev/null || true
rm -f "$lists/uninstall-files.nsh.dirs"

# --- the installer -------------------------------------------------------------------------------
step "installer"
installer=$out/XLT-$version-setup.exe
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DLISTS="$lists" \
  -DICON="$out/build/generated/xlt.ico" -DOUTFILE="$installer" packaging/windows/xlt.nsi
printf 'windows build: %s, %s (the installed folder %s)\n' "$installer" \
  "$(du -h "$installer" | cut -f1)" "$(du -sh "$stage" | cut -f1)"
[ "$check" -eq 1 ] || { step done; exit 0; }

# --- under Wine ----------------------------------------------------------------------------------
step "checks under Wine"
cmake --preset dev >/dev/null
cmake --build --preset dev --target xlt-sim xltctl >/dev/null
sim=$root/build/dev/sim/xlt-sim
shots=$out/screenshots
mkdir -p "$shots"
work=$(mktemp -d)
xvfb_pid=
unset DISPLAY WAYLAND_DISPLAY
source scripts/wine-com.sh
cleanup() {
  wine_stop
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "build-windows: $*" >&2; exit 1; }
wine_prefix

# A silent install into Program Files, with its Start menu entry and uninstaller.
wine "$installer" /S </dev/null
folder="$WINEPREFIX/drive_c/Program Files/XLT"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/XLT"
for file in "$folder/xlt.exe" "$folder/xltctl.exe" "$folder/Uninstall.exe" \
  "$folder/platforms/qwindows.dll" "$menu/XLT.lnk" "$menu/Uninstall XLT.lnk"; do
  [ -f "$file" ] || fail "the install left no ${file#"$WINEPREFIX"/}"
done
xltctl() { wine "C:\\Program Files\\XLT\\xltctl.exe" "$@" </dev/null; }
shown=$(xltctl --version | tr -d '\r')
echo "$shown"
[[ $shown == *"$version"* ]] || fail "xltctl --version printed '$shown'"

com=129
wine_com_emulator "$sim" $com --traffic normal
# The same commands against the same emulator, under Wine and on Linux, timed.
timed() {
  local from=$SECONDS
  "$@" >"$work/out" 2>&1 || { cat "$work/out" >&2; fail "'$*' failed"; }
  tr -d '\r' <"$work/out"
  printf '(%d s)\n' $((SECONDS - from)) >&2
}
echo "-- under Wine"
wine_started=$(date +%s%N)
timed xltctl identity
timed xltctl config read --ufg 'C:\users\Public\read.ufg'
timed xltctl identity --all
wine_ms=$((($(date +%s%N) - wine_started) / 1000000))
[ -s "$WINEPREFIX/drive_c/users/Public/read.ufg" ] || fail "config read --ufg wrote no file"
linux_xltctl=$root/build/dev/cli/xltctl
pty=$(sed -n 's|^xlt-sim: serving \(/dev/[^ ]*\) as COM.*|\1|p' "$work/sim.log")
echo "-- on Linux"
linux_started=$(date +%s%N)
XLT_SIM_DIR=$work/registry timed "$linux_xltctl" --device "$pty" identity
XLT_SIM_DIR=$work/registry timed "$linux_xltctl" --device "$pty" config read --ufg "$work/linux.ufg"
XLT_SIM_DIR=$work/registry timed "$linux_xltctl" identity --all
linux_ms=$((($(date +%s%N) - linux_started) / 1000000))
cmp -s "$work/linux.ufg" "$WINEPREFIX/drive_c/users/Public/read.ufg" ||
  fail "the configuration read under Wine differs from the one read on Linux"
printf 'windows build: identity, config read and identity --all took %d ms under Wine, %d ms on Linux\n' \
  "$wine_ms" "$linux_ms"

# Screenshots under Xvfb, in a Wine desktop (which draws the windows' frames): the main window,
# then the monitor during a run (Utiliites > Monitor, then Run).
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
sleep 1
wine explorer /desktop=XLT,1200x760 "C:\\Program Files\\XLT\\xlt.exe" </dev/null >"$work/xlt.log" 2>&1 &
shown=
for _ in $(seq 60); do
  shown=$(xdotool search --name '^Xeltan Utilities$' 2>/dev/null | head -n1) && [ -n "$shown" ] && break
  sleep 0.5
done
[ -n "$shown" ] || { cat "$work/xlt.log" >&2; fail "xlt.exe showed no window"; }
desktop=$(xdotool search --name 'XLT - Wine desktop' | head -n1)
sleep 3
import -window "$desktop" "$shots/main-window.png"
xdotool key --clearmodifiers alt+u m
sleep 3
xdotool key --clearmodifiers alt+r
sleep 8
import -window "$desktop" "$shots/monitor-run.png"
xdotool key --clearmodifiers alt+s
sleep 1
# Ends the program and its desktop with Wine's server.
wineserver -k || true
wineserver -w || true
printf 'windows build: screenshots in %s\n' "$shots"

# The uninstaller takes away what the installer put there.
wine "C:\\Program Files\\XLT\\Uninstall.exe" /S </dev/null
for _ in $(seq 20); do [ -e "$folder/xlt.exe" ] || break; sleep 0.5; done
[ ! -e "$folder/xlt.exe" ] && [ ! -e "$menu/XLT.lnk" ] || fail "the uninstaller left files behind"
step done
