#!/usr/bin/env bash
# An image-heavy job against copying its source: a source of PAGES pages with an image of
# its own each (bench/image_source.py, about 2.7 MB a page), imposed 2-up in saddle stitch
# into the benchmark's A3 booklet template, interleaved REPS times with `cp` of the same
# file and with `cp` followed by `sync` of the copy. vexa syncs its output before it
# gives it its name (a power cut must not leave a short file under that name), so
# "cp+sync" is the like-for-like floor; `cp` alone leaves the writing to the disk for
# later. Every output is removed before the next run, so that no run pays for deleting
# the last one. Prints each program's median wall, user and user + system CPU time and its
# largest RSS, and vexa's ratios to both; the output is checked with `qpdf --check`.
# With eatmydata installed (Debian package "eatmydata"), vexa also runs with its sync
# turned into nothing ("vexa-nosync"), which compares the rest of its work with `cp`.
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
: > "$work/cp+sync.txt"
: > "$work/vexa.txt"
: > "$work/vexa-nosync.txt"
nosync=$(command -v eatmydata || true)
for i in $(seq 1 "$reps"); do
    run cp "$src" "$work/copy.pdf" >> "$work/cp.txt"
    rm -f "$work/copy.pdf"
    sync
    run sh -c 'cp "$1" "$2" && sync "$2"' sh "$src" "$work/copy.pdf" >> "$work/cp+sync.txt"
    rm -f "$work/copy.pdf"
    sync
    run "$vexa" --plugins "$plugins" impose "$src" -t "$template" --binding saddle \
        --align trimbox -o "$work/out.pdf" >> "$work/vexa.txt"
    qpdf --check "$work/out.pdf" > /dev/null 2>&1 || { echo "output fails qpdf --check"; exit 1; }
    if [ -n "$nosync" ]; then
        rm -f "$work/out.pdf" && sync
        run "$nosync" "$vexa" --plugins "$plugins" impose "$src" -t "$template" --binding saddle \
            --align trimbox -o "$work/out.pdf" >> "$work/vexa-nosync.txt"
        qpdf --check "$work/out.pdf" > /dev/null 2>&1 || { echo "output fails qpdf --check"; exit 1; }
    fi
    [ "$i" -lt "$reps" ] && rm -f "$work/out.pdf" && sync
done

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
progs="cp cp+sync vexa"
[ -n "$nosync" ] && progs="$progs vexa-nosync"
for p in $progs; do
    wall=$(cut -d' ' -f1 "$work/$p.txt" | median)
    user=$(cut -d' ' -f2 "$work/$p.txt" | median)
    rss=$(cut -d' ' -f3 "$work/$p.txt" | sort -n | tail -1)
    cpu=$(cut -d' ' -f4 "$work/$p.txt" | median)
    printf '%s: wall %s s, user %s s, user+system %s s, max RSS %.1f MB\n' "$p" "$wall" "$user" \
        "$cpu" "$(awk "BEGIN{print $rss/1024}")"
    v=${p/+/_}
    v=${v/-/_}
    eval "${v}_wall=$wall ${v}_cpu=$cpu"
done
ratio() { awk "BEGIN{if ($2 > 0) printf \"%.2f\", $1/$2; else print \"-\"}"; }
echo "source $(du -m "$src" | cut -f1) MB, output $(du -m "$work/out.pdf" | cut -f1) MB"
echo "vexa/cp: wall $(ratio "$vexa_wall" "$cp_wall"), user+system $(ratio "$vexa_cpu" "$cp_cpu")"
echo "vexa/(cp+sync): wall $(ratio "$vexa_wall" "$cp_sync_wall")," \
    "user+system $(ratio "$vexa_cpu" "$cp_sync_cpu")"
if [ -n "$nosync" ]; then
    echo "vexa-nosync/cp: wall $(ratio "$vexa_nosync_wall" "$cp_wall")," \
        "user+system $(ratio "$vexa_nosync_cpu" "$cp_cpu")"
fi
