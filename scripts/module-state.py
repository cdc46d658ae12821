#!/usr/bin/env python3
"""Lists the writable file-scope data of the plug-in, by module: every object in a
writable data section (.data, .bss and their thread-local kin) of the plug-in's object
files, without the compiler's own (vtables, type information, guard variables).
Tables of constants live in read-only sections and are not listed.

A symbol named in PROCESS_WIDE is one of the values the whole process shares (the
host's function tables, the versions, the preferences, the string tables, ...); the
rest is module state, which a module keeps in one struct of its own
(docs/developing.md).

Usage: scripts/module-state.py [--list] [--check] [BUILD_DIR]
  --list   print every symbol with its module
  --check  fail when a module keeps more than one value of module state
"""
import argparse
import collections
import glob
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Values the process shares, by name; why each stays is said in docs/developing.md.
PROCESS_WIDE = {
    # the host's function tables and the plug-in's identity
    "gASExtraHFT", "gAcroColorHFT", "gAcroSupportHFT", "gAcroViewHFT", "gCoreHFT", "gCosHFT",
    "gPDFEditReadHFT", "gPDFEditWriteHFT", "gPDModelHFT", "gPDSReadHFT", "gPDSWriteHFT",
    "gPDSysFontHFT", "gPagePDEContentHFT", "gPlatformUIHFT", "gExtensionID", "gVersMajor",
    "gVersMinor", "gModuleName", "gPIPath",
    # the preferences, the string tables, their language and the keys they replace, the
    # current Cos document (and its document), the folder of the bundled templates
    "gPrefs", "gStrings", "gLanguage", "gReplaced", "gCosDoc", "gCosPDDoc", "gLibrary",
    # the undo handlers, registered with the host once
    "handler()::h", "boxHandler()::h",
    # colour constants set at start-up
    "kGrey", "kRed", "kWhite",
}

WRITABLE = re.compile(r"^\.(data|bss|tdata|tbss)(\.|$)")
COMPILER = re.compile(r"^(vtable for|typeinfo|guard variable|construction vtable|VTT for)")


def symbols(obj):
    out = subprocess.run(["objdump", "-t", "-C", "-w", obj], check=True,
                         capture_output=True, text=True).stdout
    for line in out.splitlines():
        # value flags section size name
        m = re.match(r"^[0-9a-f]+ (.{7}) (\S+)\t[0-9a-f]+ +(.*)$", line)
        if not m or "O" not in m.group(1):
            continue
        section, name = m.group(2), re.sub(r"^\.hidden ", "", m.group(3).strip())
        if section.startswith(".data.rel.ro") or not WRITABLE.match(section):
            continue
        if COMPILER.match(name) or name.startswith((".", "__", "DW.ref.")):
            continue
        yield name


def short(name):
    # "(anonymous namespace)::gX" and "f()::x" are named by their last part
    return re.sub(r"^\(anonymous namespace\)::", "", name)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--list", action="store_true")
    ap.add_argument("--check", action="store_true")
    ap.add_argument("build", nargs="?", default=os.path.join(ROOT, "build"))
    args = ap.parse_args()
    objdir = os.path.join(args.build, "plugin", "CMakeFiles", "vexa_plugin_core.dir")
    objs = sorted(glob.glob(os.path.join(objdir, "**", "*.o"), recursive=True))
    if not objs:
        sys.exit("module-state: no plug-in objects under " + objdir + " (build first)")
    by_module = collections.OrderedDict()
    for obj in objs:
        module = os.path.relpath(obj, objdir)[:-len(".cpp.o")]
        if not os.path.exists(os.path.join(ROOT, "plugin", module + ".cpp")):
            continue  # an object left from a file that is gone
        names = sorted(set(short(n) for n in symbols(obj)))
        if names:
            by_module[module] = names
    state = wide = 0
    for module, names in by_module.items():
        kept = [n for n in names if n in PROCESS_WIDE]
        moved = [n for n in names if n not in PROCESS_WIDE]
        wide += len(kept)
        state += len(moved)
        if args.list:
            for n in kept:
                print(f"{module}\tprocess-wide\t{n}")
            for n in moved:
                print(f"{module}\tmodule state\t{n}")
        elif moved:
            print(f"{len(moved):3d}  {module}")
    print(f"{state + wide} writable file-scope symbols: {state} module state, "
          f"{wide} process-wide")
    loose = [m for m, names in by_module.items()
             if len([n for n in names if n not in PROCESS_WIDE]) > 1]
    if args.check and loose:
        sys.exit("module-state: more than one value of module state in " + ", ".join(loose) +
                 " (keep a module's state in one struct)")


if __name__ == "__main__":
    main()
