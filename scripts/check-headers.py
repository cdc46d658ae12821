#!/usr/bin/env python3
"""Checks that every header of the tree compiles on its own.

Each header is compiled alone (included twice, so that a missing include guard shows
too) with the flags of a source file of its own folder, taken from the build's
compile_commands.json; a folder without sources (sdk/) borrows those of the plug-in,
which includes it. Only the syntax is checked, nothing is written.

Usage: scripts/check-headers.py [BUILD_DIR] [-j N]
Exit status: 0 when every header compiles, 1 otherwise (the compiler's messages are
printed per header), 2 when the build has no compile_commands.json.
"""
import json
import os
import shlex
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
# Folders whose headers are checked, and where a folder without sources borrows flags.
LAYERS = ["sdk", "plugin", "host", "apps", "tests", "bench"]
BORROW = {"sdk": "plugin/Common"}


def args_of(entry):
    if "arguments" in entry:
        return list(entry["arguments"])
    return shlex.split(entry["command"])


def syntax_only(args):
    """The compile line of a source file, turned into one that reads stdin and writes nothing."""
    out, skip = [], False
    for a in args:
        if skip:
            skip = False
            continue
        if a in ("-o", "-c", "-MF", "-MT", "-MQ"):
            skip = True
            continue
        if a in ("-MD", "-MMD") or a.endswith((".cpp", ".cc", ".c")):
            continue
        out.append(a)
    return out + ["-fsyntax-only", "-x", "c++", "-"]


def main():
    argv = sys.argv[1:]
    jobs = os.cpu_count() or 2
    if "-j" in argv:
        i = argv.index("-j")
        jobs = int(argv[i + 1])
        del argv[i:i + 2]
    build = os.path.abspath(argv[0] if argv else os.path.join(ROOT, "build"))
    db = os.path.join(build, "compile_commands.json")
    if not os.path.exists(db):
        print(f"check-headers: no {db}; configure the build first", file=sys.stderr)
        return 2
    by_folder = {}
    for e in json.load(open(db)):
        f = os.path.relpath(os.path.join(e["directory"], e["file"]), ROOT)
        if f.startswith(".."):
            continue
        by_folder.setdefault(os.path.dirname(f), (e["directory"], args_of(e)))

    headers = subprocess.run(["git", "ls-files", "--", *[f"{l}/*.h" for l in LAYERS]],
                             cwd=ROOT, capture_output=True, text=True,
                             check=True).stdout.split()

    def flags_for(header):
        folder = os.path.dirname(header)
        while folder:
            key = BORROW.get(folder, folder)
            if key in by_folder:
                return by_folder[key]
            folder = os.path.dirname(folder)
        return None

    def check(header):
        found = flags_for(header)
        if not found:
            return header, None
        cwd, args = found
        path = os.path.join(ROOT, header)
        src = f'#include "{path}"\n#include "{path}"\n'
        r = subprocess.run(syntax_only(args), cwd=cwd, input=src, capture_output=True, text=True)
        return header, (r.returncode, r.stderr)

    failed, unchecked = [], []
    with ThreadPoolExecutor(max_workers=jobs) as pool:
        for header, result in pool.map(check, headers):
            if result is None:
                unchecked.append(header)
            elif result[0] != 0:
                failed.append(header)
                print(f"--- {header} does not compile alone:\n{result[1]}", file=sys.stderr)
    for h in unchecked:
        print(f"check-headers: {h} not checked (no source of its folder in this build)",
              file=sys.stderr)
    print(f"check-headers: {len(headers) - len(unchecked)} headers checked, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
