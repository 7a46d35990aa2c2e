#!/usr/bin/env bash
# Measures the tests' strength: applies each hand-written fault of scripts/mutants.txt to a copy
# of the tree, one at a time, rebuilds what its tests need, runs those tests and says whether
# they caught it (killed), missed it (SURVIVED) or could not judge it (ERROR: the text to change
# is missing or occurs more than once, the fault does not build, its selection names no test,
# or its tests fail without it). The score is killed / (killed + survived). A measurement, not a
# gate: it is not part of scripts/test.sh, and it exits 0 whatever the score.
#
# usage: scripts/mutants.sh [options]
#   --rev REV      measure commit REV (git archive) instead of the working tree (its files
#                  as they are now, new ones not yet added included, ignored ones left out)
#   -k PATTERN     only the mutants whose name or file matches PATTERN (a Python regular
#                  expression, searched anywhere)
#   -j N           build and test jobs (default 2)
#   --scratch DIR  the scratch folder (default ${TMPDIR:-/tmp}/xlt-mutants): DIR/tree is the copy,
#                  DIR/build its dev build, DIR/logs each mutant's build and test output. It is
#                  kept, so a second run rebuilds only what changed.
#   --fresh        empty the scratch folder first
#   --check        only check that every mutant applies to the copy (nothing is built)
#   --no-baseline  skip the run of the selected tests on the unchanged build
#   --list         print the mutants' names and files, and exit
#   --mutants FILE another list of mutants (default scripts/mutants.txt)
# Exit codes: 0 the measurement ran (whatever its score), 1 it could not run (the copy, the
# configuration or the build of the unchanged tree failed, or another run holds the scratch
# folder), 2 bad usage or a malformed mutant list.
#
# The list: blocks of "key: value" lines separated by blank lines; '#' starts a comment line.
#   name:     a short unique name            file:  the file, from the tree's root
#   from:     the exact text to change, which must occur exactly once in the file
#   to:       its replacement (may be empty: the text is left out)
#   tests:    the ctest -R selection that should catch it
#   targets:  (optional) build targets besides the executables of the selected tests
#   why:      the fault it stands for
# In from/to, \n is a line break, \t a tab and \\ a backslash.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
list=$repo/scripts/mutants.txt

usage() {
  sed -n '/^# usage:/,/^# In from/p' "$0" | sed 's/^# \{0,1\}//'
}

fail_usage() {
  echo "mutants: $1" >&2
  usage >&2
  exit 2
}

# The list, parsed into $work/list/NNN/{name,file,from,to,tests,targets}; exit 2 when malformed.
parse_list() {
  rm -rf "$work/list"
  mkdir -p "$work/list"
  python3 - "$list" "$work/list" "$pattern" <<'PYTHON' || exit 2
import os, re, sys

path, out, pattern = sys.argv[1], sys.argv[2], sys.argv[3]

def fail(message):
    sys.exit("mutants: " + message)
keys = ("name", "file", "from", "to", "tests", "targets", "why")
required = ("name", "file", "from", "to", "tests", "why")

def unescape(text, where):
    result, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\":
            nxt = text[i + 1:i + 2]
            if nxt not in ("n", "t", "\\"):
                fail(f"{where}: unknown escape '\\{nxt}' (\\n, \\t and \\\\ only)")
            result.append({"n": "\n", "t": "\t", "\\": "\\"}[nxt])
            i += 2
        else:
            result.append(c)
            i += 1
    return "".join(result)

blocks, block, start = [], {}, 0
with open(path, encoding="utf-8") as f:
    lines = f.read().split("\n")
for number, line in enumerate(lines + [""], 1):
    if line.startswith("#"):
        continue
    if not line.strip():
        if block:
            blocks.append((start, block))
            block = {}
        continue
    key, colon, value = line.partition(":")
    where = f"{path}:{number}"
    if not colon or key not in keys:
        fail(f"{where}: expected one of {', '.join(k + ':' for k in keys)}")
    if key in block:
        fail(f"{where}: '{key}' given twice in one mutant")
    if not block:
        start = number
    block[key] = unescape(value.strip(), where) if key in ("from", "to") else value.strip()

names = set()
selected = 0
for index, (number, block) in enumerate(blocks):
    where = f"{path}:{number}"
    missing = [k for k in required if k not in block]
    if missing:
        fail(f"{where}: the mutant lacks {', '.join(missing)}")
    for key in ("name", "file", "from", "tests", "why"):
        if not block[key]:
            fail(f"{where}: '{key}' is empty")
    if not re.fullmatch(r"[A-Za-z0-9_.-]+", block["name"]):
        fail(f"{where}: a name takes letters, digits and . _ - only")
    if block["name"] in names:
        fail(f"{where}: the name '{block['name']}' is used twice")
    names.add(block["name"])
    if block["from"] == block["to"]:
        fail(f"{where}: 'to' is the same text as 'from'")
    try:
        re.compile(block["tests"])
    except re.error as error:
        fail(f"{where}: tests: not a regular expression ({error})")
    if block["tests"].count("(") > 9:
        fail(f"{where}: tests: ctest takes at most nine groups")
    if pattern and not (re.search(pattern, block["name"]) or re.search(pattern, block["file"])):
        continue
    selected += 1
    folder = os.path.join(out, f"{index + 1:03d}")
    os.mkdir(folder)
    for key in keys:
        with open(os.path.join(folder, key), "w", encoding="utf-8", newline="") as f:
            f.write(block.get(key, ""))
if not selected:
    fail(f"no mutant of {len(blocks)} matches '{pattern}'")
PYTHON
}

# Makes $tree hold exactly the files of $1 (a folder) named in the NUL-separated list $2:
# only files whose content or mode differ are written, so the build redoes only what changed.
sync_tree() {
  python3 - "$1" "$2" "$tree" <<'PYTHON'
import os, stat, sys

source, listing, dest = sys.argv[1:4]
with open(listing, "rb") as f:
    wanted = [os.fsdecode(p) for p in f.read().split(b"\0") if p]
keep = set()
for rel in wanted:
    src, dst = os.path.join(source, rel), os.path.join(dest, rel)
    if not os.path.lexists(src) or os.path.isdir(src):
        continue  # deleted in the working tree, or a submodule
    keep.add(os.path.normpath(rel))
    if os.path.islink(src):
        if not os.path.islink(dst) or os.readlink(dst) != os.readlink(src):
            if os.path.lexists(dst):
                os.remove(dst)
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            os.symlink(os.readlink(src), dst)
        continue
    with open(src, "rb") as f:
        data = f.read()
    mode = stat.S_IMODE(os.stat(src).st_mode)
    same = False
    if os.path.isfile(dst) and not os.path.islink(dst):
        with open(dst, "rb") as f:
            same = f.read() == data
    if not same:
        if os.path.lexists(dst):
            os.remove(dst)
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        with open(dst, "wb") as f:
            f.write(data)
    if stat.S_IMODE(os.lstat(dst).st_mode) != mode:
        os.chmod(dst, mode)
for root, dirs, files in os.walk(dest, topdown=False):
    for name in files:
        path = os.path.join(root, name)
        if os.path.normpath(os.path.relpath(path, dest)) not in keep:
            os.remove(path)
    if root != dest and not os.listdir(root):
        os.rmdir(root)
PYTHON
}

copy_tree() {
  mkdir -p "$tree"
  if [ -n "$rev" ]; then
    local stage=$scratch/stage
    rm -rf "$stage"
    mkdir -p "$stage"
    git -C "$repo" archive --format=tar "$commit" | tar -x -C "$stage"
    git -C "$repo" ls-tree -r -z --name-only "$commit" >"$work/files"
    sync_tree "$stage" "$work/files"
    rm -rf "$stage"
  else
    # Tracked files as they are now, and new files not yet added (but not ignored ones).
    git -C "$repo" ls-files -z --cached --others --exclude-standard >"$work/files"
    sync_tree "$repo" "$work/files"
  fi
}

# Applies mutant folder $1 to $tree/<file>, keeping the file's text in $work/original (with $2
# "check": only checks that it applies); on failure prints why and returns 1.
apply_mutant() {
  python3 - "$tree" "$1" "$work/original" "${2:-}" <<'PYTHON'
import os, sys

tree, folder, keep, check = sys.argv[1:5]
def read(key):
    with open(os.path.join(folder, key), encoding="utf-8", newline="") as f:
        return f.read()
rel, old, new = read("file"), read("from").encode(), read("to").encode()
path = os.path.join(tree, rel)
if not os.path.isfile(path):
    sys.exit(f"no file {rel}")
with open(path, "rb") as f:
    text = f.read()
count = text.count(old)
if count != 1:
    sys.exit("the text to change is missing" if count == 0
             else f"the text to change occurs {count} times")
if check:
    sys.exit(0)
with open(keep, "wb") as f:
    f.write(text)
with open(path, "wb") as f:
    f.write(text.replace(old, new))
PYTHON
}

# Puts the changed file back (with a new time, so that the next build redoes it).
changed_file=""
restore() {
  if [ -n "$changed_file" ]; then
    cat "$work/original" >"$tree/$changed_file"
    changed_file=""
  fi
}
trap 'restore; echo; echo "mutants: interrupted; the copy is restored" >&2; exit 130' INT TERM
trap 'restore; rm -rf "${work:-}"' EXIT

# The tests that ctest -R $1 selects: "COUNT SCRIPTS TARGETS..." on stdout and their names in $2.
# TARGETS are the selected tests' executables; SCRIPTS is 1 when a test runs something else (a
# script), which then needs the mutant's targets: line, or the whole build.
selection() {
  ctest --test-dir "$build" --show-only=json-v1 -R "$1" 2>/dev/null |
    python3 -c '
import json, os, sys
build, names, known = sys.argv[1], sys.argv[2], set(sys.argv[3].split())
tests = json.load(sys.stdin).get("tests", [])
targets, scripts = set(), 0
for test in tests:
    exe = (test.get("command") or [""])[0]
    name = os.path.basename(exe)
    if exe.startswith(build + "/") and os.access(exe, os.X_OK) and name in known:
        targets.add(name)
    else:
        scripts = 1
with open(names, "w") as f:
    f.write("".join(t["name"] + "\n" for t in tests))
print(len(tests), scripts, " ".join(sorted(targets)))
' "$build" "$2" "$known_targets"
}

# Seconds as 1m05s.
duration() {
  local s=$1
  if [ "$s" -ge 60 ]; then printf '%dm%02ds' $((s / 60)) $((s % 60)); else printf '%ds' "$s"; fi
}

# Each test run gets fresh settings and emulator folders, as scripts/test.sh gives the suite.
run_tests() { # regex, log
  local env=$work/env
  rm -rf "$env"
  mkdir -m 700 "$env" "$env/config" "$env/sim"
  XDG_CONFIG_HOME=$env/config XLT_SIM_DIR=$env/sim \
    ctest --test-dir "$build" -R "$1" --timeout 60 -j "$jobs" --output-on-failure "${@:3}" \
    >"$2" 2>&1
}

main() {
  rev="" pattern="" jobs=2 scratch="${TMPDIR:-/tmp}/xlt-mutants"
  fresh=0 check_only=0 baseline=1 list_only=0
  while [ $# -gt 0 ]; do
    case "$1" in
    --rev) [ $# -ge 2 ] || fail_usage "--rev needs a commit"; rev=$2; shift 2 ;;
    --rev=*) rev=${1#--rev=}; shift ;;
    -k) [ $# -ge 2 ] || fail_usage "-k needs a pattern"; pattern=$2; shift 2 ;;
    -j) [ $# -ge 2 ] || fail_usage "-j needs a number"; jobs=$2; shift 2 ;;
    -j*) jobs=${1#-j}; shift ;;
    --scratch) [ $# -ge 2 ] || fail_usage "--scratch needs a folder"; scratch=$2; shift 2 ;;
    --scratch=*) scratch=${1#--scratch=}; shift ;;
    --fresh) fresh=1; shift ;;
    --check) check_only=1; shift ;;
    --no-baseline) baseline=0; shift ;;
    --list) list_only=1; shift ;;
    --mutants) [ $# -ge 2 ] || fail_usage "--mutants needs a file"; list=$2; shift 2 ;;
    --mutants=*) list=${1#--mutants=}; shift ;;
    -h | --help) usage; exit 0 ;;
    *) fail_usage "unknown argument '$1'" ;;
    esac
  done
  [[ $jobs =~ ^[1-9][0-9]*$ ]] || fail_usage "-j needs a whole number above 0, not '$jobs'"
  [ -n "$scratch" ] || fail_usage "--scratch needs a folder"
  [ -f "$list" ] || fail_usage "no list of mutants at '$list'"
  if [ -n "$pattern" ]; then
    python3 -c 'import re, sys; re.compile(sys.argv[1])' "$pattern" 2>/dev/null ||
      fail_usage "-k: '$pattern' is not a regular expression"
  fi
  if [ -n "$rev" ]; then
    commit=$(git -C "$repo" rev-parse --verify --quiet "$rev^{commit}") ||
      fail_usage "--rev: '$rev' is not a commit"
  fi

  mkdir -p "$scratch"
  scratch=$(cd "$scratch" && pwd)
  tree=$scratch/tree
  build=$scratch/build
  logs=$scratch/logs
  # This run's own: the parsed list (a folder per mutant), the text of the file being changed.
  work=$(mktemp -d "$scratch/work.XXXXXX")

  parse_list
  if [ "$list_only" = 1 ]; then
    for m in "$work"/list/*/; do
      printf '%-38s %s\n' "$(<"$m/name")" "$(<"$m/file")"
    done
    exit 0
  fi

  exec 9>"$scratch/.lock"
  if ! flock -n 9; then
    echo "mutants: another run is using $scratch" >&2
    exit 1
  fi
  if [ "$fresh" = 1 ]; then
    rm -rf "$tree" "$build" "$logs"
  fi
  rm -rf "$logs"
  mkdir -p "$logs"

  started=$(date +%s)
  if [ -n "$rev" ]; then
    source_name="$rev ($(git -C "$repo" rev-parse --short "$commit"))"
  else
    source_name="the working tree (on $(git -C "$repo" rev-parse --short HEAD), as it is now)"
  fi
  echo "mutants: copying $source_name to $tree"
  copy_tree

  if [ "$check_only" = 1 ]; then
    bad=0
    for m in "$work"/list/*/; do
      if ! reason=$(apply_mutant "$m" check 2>&1); then
        printf 'ERROR     %-38s %s: %s\n' "$(<"$m/name")" "$(<"$m/file")" "$reason"
        bad=$((bad + 1))
      fi
    done
    echo "mutants: $(find "$work/list" -mindepth 1 -maxdepth 1 | wc -l) checked, $bad do not apply"
    exit 0
  fi

  # ccache keys on paths relative to the scratch folder (and not on the build folder's path), so
  # its results carry over between runs and scratch folders.
  export CCACHE_BASEDIR=$scratch CCACHE_NOHASHDIR=1
  export QT_QPA_PLATFORM=offscreen
  if [ ! -f "$build/CMakeCache.txt" ]; then
    echo "mutants: configuring $build (dev preset)"
    (cd "$tree" && cmake --preset dev -B "$build" -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
      -DXLT_BUILD_BENCHMARKS=OFF) >"$logs/configure.log" 2>&1 || {
      tail -n 30 "$logs/configure.log" >&2
      echo "mutants: the configuration failed (log: $logs/configure.log)" >&2
      exit 1
    }
  fi
  echo "mutants: building the unchanged tree (-j$jobs)"
  build_start=$(date +%s)
  if ! cmake --build "$build" -j "$jobs" >"$logs/build.log" 2>&1; then
    grep -m 20 -E 'error|FAILED' "$logs/build.log" >&2 || tail -n 30 "$logs/build.log" >&2
    echo "mutants: the unchanged tree does not build (log: $logs/build.log)" >&2
    exit 1
  fi
  echo "mutants: built in $(duration $(($(date +%s) - build_start)))"
  known_targets=$(ninja -C "$build" -t targets all 2>/dev/null |
    sed -n 's/^\([A-Za-z0-9_.-]*\): phony$/\1/p' | tr '\n' ' ')

  # The selected tests on the unchanged build: a test that fails already catches nothing.
  : >"$work/failing"
  if [ "$baseline" = 1 ]; then
    echo "mutants: running the selected tests on the unchanged build"
    base_start=$(date +%s)
    # One run per selection: ctest's regular expressions take at most nine groups.
    for m in "$work"/list/*/; do cat "$m/tests"; echo; done | sort -u >"$work/selections"
    n=0
    while IFS= read -r tests; do
      n=$((n + 1))
      if ! run_tests "$tests" "$logs/baseline.$n.log"; then
        cut -d: -f2- "$build/Testing/Temporary/LastTestsFailed.log" >>"$work/failing" || true
      fi
    done <"$work/selections"
    sort -u -o "$work/failing" "$work/failing"
    if [ -s "$work/failing" ]; then
      echo "mutants: these tests fail without any mutant, so their mutants are not judged:"
      sed 's/^/  /' "$work/failing"
    fi
    echo "mutants: baseline in $(duration $(($(date +%s) - base_start)))"
  fi

  total=$(find "$work/list" -mindepth 1 -maxdepth 1 | wc -l)
  killed=0 survived=0 errors=0 index=0
  survivors=() error_lines=()
  for m in "$work"/list/*/; do
    index=$((index + 1))
    name=$(<"$m/name") file=$(<"$m/file") tests=$(<"$m/tests") extra=$(<"$m/targets")
    why=$(<"$m/why")
    t0=$(date +%s)
    verdict="" reason=""
    count=0 scripts=0 targets=""
    read -r count scripts targets < <(selection "$tests" "$work/selected") || count=0
    if [ "${count:-0}" = 0 ]; then
      verdict=ERROR reason="tests: '$tests' selects no test"
    elif failing=$(grep -Fxf "$work/failing" "$work/selected" | head -n 3 | paste -sd ' ') &&
      [ -n "$failing" ]; then
      verdict=ERROR reason="its tests fail without it: $failing"
    elif ! reason=$(apply_mutant "$m" 2>&1); then
      verdict=ERROR
    else
      changed_file=$file
      if { [ "$scripts" = 1 ] && [ -z "$extra" ]; } || [ -z "$targets$extra" ]; then
        build_args=() # everything
      else
        read -r -a build_args <<<"--target $targets $extra"
      fi
      if ! cmake --build "$build" -j "$jobs" "${build_args[@]}" >"$logs/$name.build.log" 2>&1; then
        verdict=ERROR reason="does not build (log: $logs/$name.build.log)"
      elif run_tests "$tests" "$logs/$name.test.log" --stop-on-failure; then
        verdict=SURVIVED
      else
        verdict=killed
        # The first test that failed (ctest lists them as "number:name").
        reason="by $(head -n 1 "$build/Testing/Temporary/LastTestsFailed.log" | cut -d: -f2- |
          sed 's/  # GetParam.*//')"
      fi
      restore
    fi
    seconds=$(($(date +%s) - t0))
    case $verdict in
    killed) killed=$((killed + 1)); note=" $reason" ;;
    SURVIVED)
      survived=$((survived + 1))
      survivors+=("$(printf '%-38s %s: %s' "$name" "$file" "$why")")
      note="" ;;
    ERROR)
      errors=$((errors + 1))
      error_lines+=("$(printf '%-38s %s: %s' "$name" "$file" "$reason")")
      note=" $reason" ;;
    esac
    printf '[%2d/%d] %-8s  %-38s %-30s %6s%s\n' "$index" "$total" "$verdict" "$name" "$file" \
      "$(duration "$seconds")" "$note"
  done

  judged=$((killed + survived))
  echo
  if [ "$judged" -gt 0 ]; then
    percent=$(awk -v k="$killed" -v j="$judged" 'BEGIN { printf "%.0f", 100 * k / j }')
    echo "score: $killed/$judged killed ($percent%), $survived survived, $errors errors," \
      "$total mutants of $source_name in $(duration $(($(date +%s) - started)))"
  else
    echo "score: none judged, $errors errors, $total mutants of $source_name in" \
      "$(duration $(($(date +%s) - started)))"
  fi
  if [ "$survived" -gt 0 ]; then
    echo "survivors:"
    printf '  %s\n' "${survivors[@]}"
  fi
  if [ "$errors" -gt 0 ]; then
    echo "errors (neither killed nor survived):"
    printf '  %s\n' "${error_lines[@]}"
  fi
  echo "logs: $logs"
}

# One line, read whole before main runs: an edit of this file during a run does not disturb it.
main "$@"; exit 0
