#!/usr/bin/env python3
"""Lists the longest functions of the plug-in and the host (or of the folders and files
named), longest first: lines, file:first-last and the qualified name. Reads the
function extents from universal-ctags (the `universal-ctags` package); lambdas count
towards the function they stand in.

Usage: scripts/longest-functions.py [--most N] [PATH...]
"""
import argparse
import json
import os
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--most", type=int, default=10, help="how many rows (default 10)")
    ap.add_argument("paths", nargs="*", default=["plugin", "host"])
    args = ap.parse_args()
    if not shutil.which("ctags"):
        sys.exit("longest-functions: ctags not found (install universal-ctags)")
    files = subprocess.run(
        ["git", "ls-files", "--"] + [p + "/*.cpp" if os.path.isdir(os.path.join(ROOT, p)) else p
                                     for p in args.paths] +
        [p + "/*.h" for p in args.paths if os.path.isdir(os.path.join(ROOT, p))],
        cwd=ROOT, check=True, capture_output=True, text=True).stdout.split()
    if not files:
        sys.exit("longest-functions: no source files under " + " ".join(args.paths))
    out = subprocess.run(
        ["ctags", "--output-format=json", "--languages=C++", "--map-C++=+.h",
         "--kinds-C++=f", "--fields=+neS", "-o", "-"] + files,
        cwd=ROOT, check=True, capture_output=True, text=True).stdout
    rows = []
    for line in out.splitlines():
        tag = json.loads(line)
        if tag.get("_type") != "tag" or tag["name"].startswith("__anon") or "end" not in tag:
            continue
        scope = tag.get("scope", "")
        if "__anon" in scope:  # unnamed namespaces
            scope = "::".join(s for s in scope.split("::") if not s.startswith("__anon"))
        name = (scope.split("::")[-1] + "::" if scope and tag.get("scopeKind") in
                ("class", "struct") else "") + tag["name"]
        length = tag["end"] - tag["line"] + 1
        rows.append((length, f'{tag["path"]}:{tag["line"]}-{tag["end"]}', name))
    rows.sort(key=lambda r: (-r[0], r[1]))
    for length, where, name in rows[:args.most]:
        print(f"{length:5}  {where}  {name}")


if __name__ == "__main__":
    main()
