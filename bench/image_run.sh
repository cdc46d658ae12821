#!/usr/bin/env bash
# An image-heavy job against copying its source: a source of PAGES pages with an image of
# its own each (bench/image_source.py, about 2.7 MB a page), imposed 2-up in saddle stitch
# into the benchmark's A3 booklet template, interleaved REPS times with `cp` of the same
# file. Prints each program's median wall, user and user + system CPU time and its largest
# RSS, and the ratios of the medians; the output is checked with `qpdf --check`.
#
#   bench/image_run.sh [PAGES] [REPS]      (default 100 3)
#
# VEXA (default build/bin/vexa), PLUGINS (default build/bin/plug_ins) and TEMPLATE
# (default build/bench/templates/Booklet_2up_A3.pdf) choose what runs.
set -euo pipefail
pages=${1:-100}
reps=${2:-3}
root=$(cd "$(dirname "$0")/.." && pwd)
vexa=${VEXA:-$root/build/bin/vexa}
plugins=${PLUGINS:-$root/build/bin/plug_ins}
template=${TEMPLATE:-$root/build/bench/templates/Booklet_2up_A3.pdf}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DOCUMENTS_DIR=$work/home/Documents
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DOCUMENTS_DIR"
src=$work/images.pdf
python3 "$root/bench/image_source.py" "$src" "$pages"

# One run: "wall user maxrss_kb user+system".
run() {
    /usr/bin/time -f "%e %U %M %S" -o "$work/t" "$@" > /dev/null 2>&1
    awk '{printf "%s %s %s %.2f\n", $1, $2, $3, $2 + $4}' "$work/t"
}
: > "$work/cp.txt"
: > "$work/vexa.txt"
for _ in $(seq 1 "$reps"); do
    run cp "$src" "$work/copy.pdf" >> "$work/cp.txt"
    rm -f "$work/copy.pdf"
    run "$vexa" --plugins "$plugins" impose "$src" -t "$template" --binding saddle \
        --align trimbox -o "$work/out.pdf" >> "$work/vexa.txt"
done
qpdf --check "$work/out.pdf" > /dev/null 2>&1 || { echo "output fails qpdf --check"; exit 1; }

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
for p in cp vexa; do
    wall=$(cut -d' ' -f1 "$work/$p.txt" | median)
    user=$(cut -d' ' -f2 "$work/$p.txt" | median)
    rss=$(cut -d' ' -f3 "$work/$p.txt" | sort -n | tail -1)
    cpu=$(cut -d' ' -f4 "$work/$p.txt" | median)
    printf '%s: wall %s s, user %s s, user+system %s s, max RSS %.1f MB\n' "$p" "$wall" "$user" \
        "$cpu" "$(awk "BEGIN{print $rss/1024}")"
    eval "${p}_wall=$wall ${p}_cpu=$cpu"
done
echo "source $(du -m "$src" | cut -f1) MB, output $(du -m "$work/out.pdf" | cut -f1) MB," \
    "vexa/cp wall $(awk "BEGIN{printf \"%.2f\", $vexa_wall/$cp_wall}")," \
    "user+system $(awk "BEGIN{if ($cp_cpu > 0) printf \"%.2f\", $vexa_cpu/$cp_cpu; else print \"-\"}")"
