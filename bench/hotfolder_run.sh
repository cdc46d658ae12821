#!/usr/bin/env bash
# A hot-folder run: FILES copies of the 16-page example brochure arrive in one input
# folder at once (moved in from a staging folder), and WORKERS `vexa hotfolder --once`
# processes impose them with the 2-up booklet template, Delay DELAY. Prints the time
# from the arrival to the last worker's end, files per second, and checks the outputs
# (one per file, none in Err, every output passes `qpdf --check`).
#
#   bench/hotfolder_run.sh [FILES] [WORKERS] [DELAY]      (default 100 1 2)
#
# VEXA (default build/bin/vexa) and PLUGINS (default build/bin/plug_ins) choose the
# programs, so that two builds can be run one after the other.
set -euo pipefail
files=${1:-100}
workers=${2:-1}
delay=${3:-2}
root=$(cd "$(dirname "$0")/.." && pwd)
vexa=${VEXA:-$root/build/bin/vexa}
plugins=${PLUGINS:-$root/build/bin/plug_ins}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DOCUMENTS_DIR=$work/home/Documents
mkdir -p "$XDG_CONFIG_HOME/Orvanta" "$XDG_DOCUMENTS_DIR" "$work/In1" "$work/Out1" "$work/Done1" \
    "$work/staging" "$work/examples"
python3 "$root/tools/make_examples.py" "$work/examples"
cat > "$XDG_CONFIG_HOME/Orvanta/Vexa.ini" <<EOF
[Hotfolder]
In1=$work/In1
Out1=$work/Out1
Done1=$work/Done1
T1=$work/examples/booklet-2up.pdf
Delay=$delay
EOF
for i in $(seq -w 1 "$files"); do cp "$work/examples/brochure.pdf" "$work/staging/job$i.pdf"; done

start=$(date +%s%N)
mv "$work"/staging/*.pdf "$work/In1/"
pids=()
for w in $(seq 1 "$workers"); do
    "$vexa" --plugins "$plugins" hotfolder --once > "$work/worker$w.txt" 2>&1 &
    pids+=($!)
done
status=0
for p in "${pids[@]}"; do wait "$p" || status=$?; done
end=$(date +%s%N)

ms=$(( (end - start) / 1000000 ))
made=$(find "$work/Out1" -name '*.pdf' | wc -l)
errs=$(find "$work" -path '*/Err/*' -name '*.pdf' | wc -l)
bad=0
for f in "$work"/Out1/*.pdf; do
    [ -e "$f" ] || continue
    qpdf --check "$f" > /dev/null 2>&1 || bad=$((bad + 1))
done
polls=$(cat "$work"/worker*.txt | grep -c '^Processing: ' || true)
echo "files=$files workers=$workers delay=$delay seconds=$(awk "BEGIN{printf \"%.2f\", $ms/1000}")" \
    "files_per_second=$(awk "BEGIN{printf \"%.2f\", $files*1000/$ms}")" \
    "outputs=$made err=$errs check_failed=$bad looks=$polls exit=$status"
[ "$made" -eq "$files" ] && [ "$errs" -eq 0 ] && [ "$bad" -eq 0 ] && [ "$status" -eq 0 ]
