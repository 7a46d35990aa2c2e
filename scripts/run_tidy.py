#!/usr/bin/env python3
"""Runs clang-tidy over the program, the tool and the emulator, one run per folder of a target.

Most of clang-tidy's time goes into the Qt and standard headers that every source includes, so
checking sources one by one repeats that work for each of them. Here the sources of one folder
of one build target are joined into one file (BUILD/tidy/TARGET-FOLDER.cpp), checked in one run,
and the findings are told at their place in the original source. The joined file is the main file, so
every check sees every function as it sees a single source, the static analyzer's path checks
included; an include that an earlier source of the target already made is blanked, so that only
a source's own repeated includes are findings. Sources that do not build as one (two of them
define the same name at file scope) are checked one by one instead, and said so.

usage: scripts/run_tidy.py BUILD_DIR [-j N] [--per-file]
  BUILD_DIR   a configured and built tree (compile_commands.json and the generated headers)
  -j N        parallel runs (default: the number of processors)
  --per-file  check every source on its own, as clang-tidy does by default (slower)
Exit codes: 0 no finding, 1 findings or a failed run, 2 bad usage.
"""

import argparse
import collections
import concurrent.futures
import json
import os
import re
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CLANG_TIDY = "clang-tidy-14"
CHECKED = re.compile(re.escape(ROOT) + r"/(src|cli|sim)/")
TARGET = re.compile(r"CMakeFiles/([^/]+)\.dir/")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
FINDING = re.compile(r"(warning|error): ")
TIMES = {}  # seconds per checked file


class Group:
    """One target's sources joined into one file, with the way back to their lines."""

    def __init__(self, target, entries, folder):
        self.target = target
        self.entries = entries
        self.path = os.path.join(folder, target + ".cpp")
        self.starts = []  # (first line in the joined file, source, its line count)

    def write(self):
        seen = set()
        out = []
        for entry in self.entries:
            source = entry["file"]
            here = os.path.dirname(source)
            with open(source, encoding="latin-1") as f:
                lines = f.read().split("\n")
            if lines and lines[-1] == "":
                lines.pop()
            self.starts.append((len(out) + 1, source, len(lines)))
            own = set()
            for line in lines:
                match = INCLUDE.match(line)
                if match:
                    kind, name = match.groups()
                    local = os.path.normpath(os.path.join(here, name))
                    if kind == '"' and os.path.exists(local):
                        line = line.replace('"' + name + '"', '"' + local + '"', 1)
                        name = local
                    if name in seen and name not in own:
                        line = ""
                    own.add(name)
                out.append(line)
            seen |= own
        with open(self.path, "w", encoding="latin-1") as f:
            f.write("\n".join(out) + "\n")

    def command(self):
        first = self.entries[0]
        return {"directory": first["directory"], "file": self.path,
                "command": first["command"].replace(first["file"], self.path)}

    def place(self, line):
        for start, source, count in self.starts:
            if start <= line < start + count:
                return source, line - start + 1
        return self.path, line

    def translate(self, text):
        pattern = re.compile(re.escape(self.path) + r":(\d+):")

        def back(match):
            source, line = self.place(int(match.group(1)))
            return f"{source}:{line}:"

        return pattern.sub(back, text)


def tidy(build, source):
    started = time.monotonic()
    run = subprocess.run([CLANG_TIDY, "-p", build, "--quiet",
                          "--config-file=" + os.path.join(ROOT, ".clang-tidy"), source],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         encoding="latin-1", check=False)
    TIMES[os.path.basename(source)] = time.monotonic() - started
    return run.returncode, run.stdout


def failed(code, output):
    return code != 0 or FINDING.search(output) is not None


def report(output):
    """The findings with their context lines, without clang's "N warnings generated"."""
    return "\n".join(line for line in output.splitlines()
                     if not re.match(r"^\d+ warnings?( and \d+ errors?)? generated", line))


def main():
    parser = argparse.ArgumentParser(add_help=True, usage=__doc__)
    parser.add_argument("build")
    parser.add_argument("-j", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--per-file", action="store_true")
    options = parser.parse_args()
    build = os.path.abspath(options.build)
    try:
        with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as f:
            database = json.load(f)
    except (OSError, ValueError) as error:
        print(f"run_tidy: cannot read {build}/compile_commands.json: {error}", file=sys.stderr)
        return 2

    targets = collections.defaultdict(list)
    for entry in database:
        if CHECKED.match(entry["file"]):
            found = TARGET.search(entry.get("output", "") + " " + entry["command"])
            folder = os.path.basename(os.path.dirname(entry["file"]))
            targets[(found.group(1) if found else entry["file"]) + "-" + folder].append(entry)
    if not targets:
        print("run_tidy: no sources of src/, cli/ or sim/ in the build", file=sys.stderr)
        return 2

    folder = os.path.join(build, "tidy")
    os.makedirs(folder, exist_ok=True)
    groups, singles = [], []
    for target, entries in sorted(targets.items()):
        if options.per_file or len(entries) == 1:
            singles += [entry["file"] for entry in entries]
        else:
            groups.append(Group(target, entries, folder))
    for group in groups:
        group.write()
    with open(os.path.join(folder, "compile_commands.json"), "w", encoding="utf-8") as f:
        json.dump([group.command() for group in groups], f, indent=1)

    def check_group(group):
        code, output = tidy(folder, group.path)
        if "[clang-diagnostic-error]" not in output:
            return group.target, code, group.translate(output)
        # Its sources do not build as one: check them one by one.
        print(f"run_tidy: {group.target} checked source by source: its sources do not build as"
              " one (two of them define the same name at file scope?)", flush=True)
        results = [tidy(build, entry["file"]) for entry in group.entries]
        code = max(result[0] for result in results)
        return group.target, code, "\n".join(result[1] for result in results)

    def check_single(source):
        code, output = tidy(build, source)
        return source, code, output

    status = 0
    largest_first = sorted(groups, key=lambda group: -sum(start[2] for start in group.starts))
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, options.j)) as pool:
        jobs = [pool.submit(check_group, group) for group in largest_first]
        jobs += [pool.submit(check_single, source) for source in singles]
        for job in concurrent.futures.as_completed(jobs):
            name, code, output = job.result()
            if failed(code, output):
                status = 1
                print(f"== {name}\n{report(output)}", flush=True)
    slowest = sorted(TIMES.items(), key=lambda item: -item[1])[:4]
    print("run_tidy: %d runs, the longest: %s" % (len(TIMES), ", ".join(
        f"{name} {seconds:.0f} s" for name, seconds in slowest)))
    return status


if __name__ == "__main__":
    sys.exit(main())
