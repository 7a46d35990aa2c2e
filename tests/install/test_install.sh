#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR (prefix /usr, as the package does) and checks
# the installed XLT. Usage: test_install.sh BUILD_DIR VERSION CHECK, where CHECK is
#   files      the installed files, --version and --help of xltctl and xlt-sim, and xlt
#              starting offscreen;
#   log-folder a read-only program folder: xlt at start-up makes "XLT logs" in the documents
#              folder, and xltctl monitor without --log-dir writes its two logs there;
#   validate   the desktop entry and the AppStream metainfo pass their validators.
# Exit code 77 (skipped) when a tool that the check needs is missing.
set -euo pipefail
build=$1
version=$2
check=$3

work=$(mktemp -d)
dest=$work/dest
bin=$dest/usr/bin
sim_pid=
cleanup() {
    if [ -n "$sim_pid" ]; then
        # $! is the background shell that runs the emulator through in_home (and setpriv): the
        # emulator itself is its child, found by its path in this run's own folder.
        pkill -f -- "^$bin/xlt-sim " 2>/dev/null || true
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    chmod -R u+w "$work" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
skip() {
    echo "SKIPPED: $*"
    exit 77
}

DESTDIR=$dest cmake --install "$build" --prefix /usr >"$work/install.log" ||
    fail "cmake --install failed: $(cat "$work/install.log")"

check_files() {
    local expected=(
        usr/bin/xlt
        usr/bin/xlt-sim
        usr/bin/xltctl
        usr/lib/udev/rules.d/70-xlt.rules
        usr/share/applications/com.xeltan.XLT.desktop
        usr/share/bash-completion/completions/xltctl
        usr/share/icons/hicolor/scalable/apps/com.xeltan.XLT.svg
        usr/share/man/man1/xlt-sim.1
        usr/share/man/man1/xlt.1
        usr/share/man/man1/xltctl.1
        usr/share/metainfo/com.xeltan.XLT.metainfo.xml
    )
    local listed
    listed=$(cd "$dest" && find . -type f | sed 's|^\./||' | sort)
    [ "$listed" = "$(printf '%s\n' "${expected[@]}")" ] ||
        fail "installed files differ:"$'\n'"$(diff <(printf '%s\n' "${expected[@]}") <(echo "$listed"))"
    for program in xlt xltctl xlt-sim; do
        [ -x "$bin/$program" ] || fail "$program is not executable"
    done

    [ "$("$bin/xltctl" --version)" = "xltctl $version" ] || fail "xltctl --version"
    [ "$("$bin/xlt-sim" --version)" = "xlt-sim $version" ] || fail "xlt-sim --version"
    "$bin/xltctl" --help | grep -q '^usage: xltctl' || fail "xltctl --help"
    "$bin/xlt-sim" --help | grep -q '^Usage: xlt-sim' || fail "xlt-sim --help"
    grep -q "release version=\"$version\"" "$dest/usr/share/metainfo/com.xeltan.XLT.metainfo.xml" ||
        fail "the metainfo does not carry version $version"
    bash -n "$dest/usr/share/bash-completion/completions/xltctl" || fail "bash completion syntax"
    # Completion finds the command after a leading --port X and offers diff its own option.
    local offered
    offered=$(
        set +eu
        _init_completion() { words=("${COMP_WORDS[@]}") cword=$COMP_CWORD cur=--; }
        source "$dest/usr/share/bash-completion/completions/xltctl"
        COMP_WORDS=(xltctl --port COM5 config diff --) COMP_CWORD=5 && _xltctl
        echo "${COMPREPLY[*]}"
    )
    [ "$offered" = "--exit-code --json --port --device" ] || fail "completion of config diff: $offered"

    # The program starts and keeps running (no display: offscreen) until it is stopped.
    mkdir -p "$work/home"
    local status=0
    HOME=$work/home XDG_CONFIG_HOME=$work/home/.config QT_QPA_PLATFORM=offscreen \
        timeout 3 "$bin/xlt" >"$work/xlt.log" 2>&1 || status=$?
    [ "$status" -eq 124 ] || fail "xlt ended by itself with $status: $(cat "$work/xlt.log")"
}

# Runs a command as a user who may not write the installed program folder: "nobody" when
# this is root (root ignores permission bits), otherwise this user with the folder made
# read-only.
as_user=()
prepare_user() {
    chmod 755 "$work"
    mkdir -p "$work/home"
    if [ "$(id -u)" -eq 0 ]; then
        command -v setpriv >/dev/null || skip "setpriv is not installed (util-linux)"
        chown nobody "$work/home"
        as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    else
        chmod a-w "$bin"
    fi
}

in_home() {
    "${as_user[@]}" env HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
        XDG_DATA_HOME="$work/home/.local/share" XDG_STATE_HOME="$work/home/.local/state" \
        XLT_SIM_DIR="$work/home/sim" QT_QPA_PLATFORM=offscreen "$@"
}

check_log_folder() {
    prepare_user
    local logs="$work/home/Documents/XLT logs"

    # The program takes the default at start-up, and makes the folder then.
    local status=0
    in_home timeout 3 "$bin/xlt" >"$work/xlt.log" 2>&1 || status=$?
    [ "$status" -eq 124 ] || fail "xlt ended by itself with $status: $(cat "$work/xlt.log")"
    [ -d "$logs" ] || fail "xlt did not make $logs"

    in_home "$bin/xlt-sim" --no-state --traffic normal >"$work/sim.log" 2>&1 &
    sim_pid=$!
    for _ in $(seq 50); do
        grep -q serving "$work/sim.log" && break
        sleep 0.1
    done
    grep -q serving "$work/sim.log" || fail "the emulator did not start: $(cat "$work/sim.log")"

    in_home "$bin/xltctl" monitor --seconds 2 >"$work/monitor.out" 2>"$work/monitor.err" ||
        fail "xltctl monitor failed: $(cat "$work/monitor.err")"
    local tgt xlt
    tgt=$(find "$logs" -name 'XLT_log_ *.tgt' | wc -l)
    xlt=$(find "$logs" -name 'XLT_log_ *.xlt' | wc -l)
    [ "$tgt" -eq 1 ] && [ "$xlt" -eq 1 ] ||
        fail "expected one .tgt and one .xlt log in $logs, found: $(ls -A "$logs")"
    find "$logs" -name 'XLT_log_ *' -empty | grep -q . && fail "an empty log file"
    grep -q $'^Packet #0 .*\r$' "$logs"/*.tgt || fail "the target log lacks its first packet"
    find "$bin" -name 'XLT_log_*' | grep -q . && fail "logs were written in the program folder"
    return 0
}

check_validate() {
    local ran=0
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$dest/usr/share/applications/com.xeltan.XLT.desktop" ||
            fail "desktop-file-validate"
        ran=1
    else
        echo "desktop-file-validate is not installed (desktop-file-utils): not checked"
    fi
    if command -v appstreamcli >/dev/null; then
        appstreamcli validate --no-net "$dest/usr/share/metainfo/com.xeltan.XLT.metainfo.xml" ||
            fail "appstreamcli validate"
        ran=1
    else
        echo "appstreamcli is not installed (appstream): not checked"
    fi
    [ "$ran" -eq 1 ] || skip "no validator installed (scripts/setup.sh installs them)"
}

case $check in
files) check_files ;;
log-folder) check_log_folder ;;
validate) check_validate ;;
*) fail "unknown check '$check'" ;;
esac
echo "install $check: ok"
