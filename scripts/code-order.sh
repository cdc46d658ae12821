#!/usr/bin/env bash
# Writes apps/code-order.txt: the functions of vexa and the plug-in that imposing jobs
# run, which the link puts together (see VEXA_CODE_ORDER in CMakeLists.txt). Runs the
# booklet, signature, step-and-repeat and marked booklet jobs on SOURCE under callgrind
# and lists every function of the two that ran: static initialisers and main first,
# then the rest in the order callgrind met them. Names that no longer exist are passed
# over by the link, so an old list costs memory, never correctness; make it again after
# large changes to the code a job runs.
#
#   scripts/code-order.sh BUILD_DIR SOURCE.pdf     (a 200-page source, e.g. the peer
#                                                   harness's inputs/src-200.pdf)
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
source=$(cd "$(dirname "${2:?source PDF}")" && pwd)/$(basename "$2")
root=$(cd "$(dirname "$0")/.." && pwd)
vexa=$build/bin/vexa
plugins=$build/bin/plug_ins
bundled=$plugins/Vexa/templates
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DOCUMENTS_DIR=$work/home/Documents
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DOCUMENTS_DIR"

i=0
while read -r template binding; do
    i=$((i + 1))
    valgrind --tool=callgrind --demangle=no --compress-strings=no \
        --callgrind-out-file="$work/cg.$i" "$vexa" --plugins "$plugins" impose "$source" \
        -t "$template" --binding "$binding" --align trimbox -o "$work/out.pdf" \
        > /dev/null 2>&1
done <<EOF
$build/bench/templates/Booklet_2up_A3.pdf saddle
$bundled/Signature_16_A4.pdf perfect
$build/bench/templates/StepRepeat_8up_rows.pdf perfect
$bundled/Booklet_2up_A4.pdf saddle
EOF

python3 - "$work" "$root/apps/code-order.txt" <<'PY'
import glob
import sys

work, out = sys.argv[1], sys.argv[2]
first, rest, seen = [], [], set()
for path in sorted(glob.glob(work + "/cg.*")):
    ob = None
    for line in open(path, errors="replace"):
        if line.startswith("ob="):
            ob = line[3:].strip()
        elif line.startswith("fn=") and ob and ob.endswith(("/vexa", "/Vexa.so")):
            name = line[3:].strip()
            if name in seen or name.startswith("0x"):
                continue
            seen.add(name)
            (first if name == "main" or name.startswith("_GLOBAL__sub_I") else rest).append(name)
with open(out, "w") as f:
    f.write("\n".join(first + rest) + "\n")
print(f"{out}: {len(first) + len(rest)} functions")
PY
