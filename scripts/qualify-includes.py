#!/usr/bin/env python3
"""Writes every include of a plug-in header with the header's folder: "Impose.h" becomes
"Sources/Impose.h". The plug-in's one include folder is plugin/, so an include says
which layer it reaches into (Common, settings and platform never name Sources).

Rewrites, in place, the C++ files git knows (tracked, or untracked and not ignored)
under plugin/, tests/, fuzz/, bench/ and apps/; the host (whose libraries are reached
as "doc/Doc.h" already) and sdk/ (whose headers stay bare) are left as they are.
Running it again changes nothing; after a merge it qualifies the includes that came in
bare. A bare name that is no plug-in header (a test's own helper, an sdk header) stays.

Usage: scripts/qualify-includes.py [--check]
  --check   change nothing; list the bare includes and exit 1 when there are any
"""
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PLUGIN_FOLDERS = ["Sources", "Common", "settings", "platform"]
REWRITTEN = ["plugin", "tests", "fuzz", "bench", "apps"]
INCLUDE = re.compile(r'^(\s*#\s*include\s+)"([^"/]+)"')


def plugin_headers():
    """Bare name -> folder/name for every plug-in header; a name in two folders is an error."""
    found = {}
    for folder in PLUGIN_FOLDERS:
        for name in sorted(os.listdir(os.path.join(ROOT, "plugin", folder))):
            if not name.endswith(".h"):
                continue
            if name in found:
                sys.exit(f"qualify-includes: {name} is in plugin/{found[name]} and "
                         f"plugin/{folder}/{name}: rename one")
            found[name] = f"{folder}/{name}"
    return found


def source_files():
    out = subprocess.run(
        ["git", "ls-files", "--cached", "--others", "--exclude-standard", "--"] + REWRITTEN,
        cwd=ROOT, check=True, capture_output=True, text=True).stdout.split("\n")
    return [f for f in out if f.endswith((".h", ".cpp", ".cc", ".hpp"))
            and os.path.isfile(os.path.join(ROOT, f))]


def main():
    check = "--check" in sys.argv[1:]
    headers = plugin_headers()
    bare = 0
    changed = []
    for rel in source_files():
        path = os.path.join(ROOT, rel)
        with open(path, encoding="utf-8") as f:
            lines = f.readlines()
        new = []
        for n, line in enumerate(lines, 1):
            m = INCLUDE.match(line)
            if m and m.group(2) in headers:
                bare += 1
                if check:
                    print(f"{rel}:{n}: #include \"{m.group(2)}\" (write \"{headers[m.group(2)]}\")")
                line = f'{m.group(1)}"{headers[m.group(2)]}"{line[m.end():]}'
            new.append(line)
        if new != lines and not check:
            with open(path, "w", encoding="utf-8") as f:
                f.writelines(new)
            changed.append(rel)
    if check:
        print(f"qualify-includes: {bare} bare include(s) of plug-in headers")
        sys.exit(1 if bare else 0)
    print(f"qualify-includes: {bare} include(s) qualified in {len(changed)} file(s)")


if __name__ == "__main__":
    main()
