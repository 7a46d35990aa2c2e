#!/usr/bin/env bash
# Checks the include direction written in docs/ARCHITECTURE.md: each folder includes only the
# project folders below it, nothing includes the program's shell (src/app), and the window-free
# code includes no Qt Widgets, Qt Gui or Qt SerialPort header (SerialLink alone may use Qt
# SerialPort). Prints each offending line; exits 1 when there is one.
# Usage: scripts/check_includes.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

qt_headers=$(qtpaths6 --query QT_INSTALL_HEADERS 2>/dev/null ||
             find /usr/include -maxdepth 3 -type d -name QtCore -printf '%h\n' | head -n 1)
[ -d "$qt_headers/QtCore" ] || { echo "check_includes: Qt headers not found" >&2; exit 2; }
# The class headers of a Qt module ("QWidget", "QtWidgets/QWidget", "qwidget.h"...).
module_headers() {
    (cd "$qt_headers/$1" && ls) | sed -e "p" -e "s|^|$1/|"
    echo "$1"
}
windowing=$(mktemp)
serialport=$(mktemp)
trap 'rm -f "$windowing" "$serialport"' EXIT
{ module_headers QtWidgets; module_headers QtGui; } | sort -u >"$windowing"
module_headers QtSerialPort | sort -u >"$serialport"

# The project folders that the file at $1 may include ("ui" entries allow that folder's ui/).
allowed() {
    case "$1" in
    src/core/*) echo "core" ;;
    src/link/*) echo "core link" ;;
    src/session/ui/*) echo "core link session session/ui" ;;
    src/session/*) echo "core link session" ;;
    src/app/*) echo "*" ;;
    src/*/ui/*)
        local task=${1#src/}
        task=${task%%/*}
        echo "core link session session/ui $task $task/ui"
        ;;
    src/*)
        local task=${1#src/}
        task=${task%%/*}
        echo "core link $task"
        ;;
    sim/*) echo "core link sim" ;;
    cli/*) echo "core link session monitor pr01 update options" ;;
    esac
}

window_free() {
    case "$1" in
    src/app/* | src/*/ui/*) return 1 ;;
    *) return 0 ;;
    esac
}

failed=0
offend() {
    echo "$1: $2" >&2
    failed=1
}
while IFS= read -r file; do
    rules=$(allowed "$file")
    while IFS= read -r line; do
        if [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([a-z0-9_]+)/(ui/)?[^\"]*\" ]]; then
            folder=${BASH_REMATCH[1]}
            wanted=$folder${BASH_REMATCH[2]:+/ui}
            [ "$rules" = "*" ] && continue
            case " $rules " in
            *" $wanted "*) ;;
            *) offend "$file" "includes $folder${BASH_REMATCH[2]:+/ui}: $line" ;;
            esac
        elif [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<([^\>]+)\> ]]; then
            header=${BASH_REMATCH[1]}
            window_free "$file" || continue
            if grep -qxF "$header" "$windowing"; then
                offend "$file" "window-free code includes a Qt Widgets or Gui header: $line"
            elif grep -qxF "$header" "$serialport" && [[ $file != src/link/SerialLink* ]]; then
                offend "$file" "only SerialLink may include Qt SerialPort: $line"
            fi
        fi
    done <"$file"
done < <(find src sim cli -name '*.h' -o -name '*.cpp' | sort)
if [ "$failed" -ne 0 ]; then
    echo "check_includes: see the include direction in docs/ARCHITECTURE.md" >&2
    exit 1
fi
echo "check_includes: every include goes the allowed way"
