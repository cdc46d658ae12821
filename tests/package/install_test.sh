#!/usr/bin/env bash
# The installed Vexa, as a shop gets it:
#   install_test.sh prefix BUILD SOURCE   cmake --install into a scratch prefix
#   install_test.sh deb BUILD SOURCE      the Debian packages, unpacked with dpkg -x
#   install_test.sh unit BUILD SOURCE     the service unit's rating by systemd-analyze
#   install_test.sh man BUILD SOURCE      the manual pages against the --help texts
#   install_test.sh completion BUILD SOURCE   bash and zsh completion of commands and values
# Each runs the installed vexa from its new place (its version, an imposition of the
# example brochure into the bundled booklet template) and checks that nothing of the
# build tree is used. Exit 77 (skipped) when a tool it needs is missing.
set -euo pipefail
mode=$1 build=$(realpath "$2") source=$(realpath "$3")
scratch=$(mktemp -d "${TMPDIR:-/tmp}/vexa-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null || { echo "skipped: $1 is not installed"; exit 77; }; }

# Runs the vexa of an installed tree with a home of its own and nothing of the build.
run_vexa() {
    local bin=$1; shift
    mkdir -p "$scratch/home/config" "$scratch/home/Documents" "$scratch/home/tmp"
    env -u VEXA_RESOURCES HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/config" \
        XDG_DOCUMENTS_DIR="$scratch/home/Documents" TMPDIR="$scratch/home/tmp" \
        "$bin" --language ENU "$@"
}

# The checks every installed tree passes; ROOT is where it was installed, BIN its vexa.
check_tree() {
    local root=$1 bin=$2
    [ -x "$bin" ] || fail "$bin was not installed"
    run_vexa "$bin" --version | grep -q "6\.17" || fail "vexa --version"
    local info
    info=$(run_vexa "$bin" info)
    echo "$info" | grep -q "plug-in [A-Z]*:\?Vexa: loaded  $root/" ||
        fail "the plug-in was not loaded from the installed tree: $info"
    echo "$info" | grep -q "$build" && fail "the installed vexa uses the build tree: $info"
    cp "$source/examples/brochure.pdf" "$scratch/brochure.pdf"
    local out
    out=$(run_vexa "$bin" impose "$scratch/brochure.pdf" -o "$scratch/booklet.pdf" 2>&1) ||
        fail "vexa impose: $out"
    echo "$out" | grep -q "8 sheets, 16 pages placed" || fail "vexa impose: $out"
    qpdf --check "$scratch/booklet.pdf" >/dev/null || fail "the imposed PDF fails qpdf --check"
    rm -f "$scratch/booklet.pdf"
    # The bundled templates and the template library came along.
    run_vexa "$bin" template list | grep -q "Booklet_2up_A4" || fail "vexa template list"
    # The proof renderer, a module vexa opens from the tree's lib/vexa/, renders.
    [ -f "$root/lib/vexa/vexa-proof.so" ] || fail "no proof renderer in lib/vexa"
    run_vexa "$bin" template show Booklet_2up_A4 --png "$scratch/proof" --dpi 10 >/dev/null ||
        fail "vexa template show --png"
    [ -f "$scratch/proof/Booklet_2up_A4-1.png" ] || fail "no proof rendered"
    rm -rf "$scratch/proof"
}

# The unit's exposure as systemd-analyze rates it; at most 2.5 passes.
check_unit() {
    local unit=$1
    grep -q "^ExecStart=/usr/bin/vexa " "$unit" || fail "the unit does not run /usr/bin/vexa"
    if ! command -v systemd-analyze >/dev/null; then
        echo "systemd-analyze is not installed: the unit's rating is not checked"
        return
    fi
    local rating
    rating=$(systemd-analyze security --offline=true "$unit" 2>&1 |
             sed -n 's/.*Overall exposure level for .*: \([0-9.]*\).*/\1/p')
    [ -n "$rating" ] || fail "systemd-analyze gave no rating for $unit"
    echo "security rating of $(basename "$unit"): $rating"
    awk -v r="$rating" 'BEGIN { exit !(r <= 2.5) }' || fail "the unit is rated $rating (> 2.5)"
}

case $mode in
prefix)
    cmake --install "$build" --prefix "$scratch/p" >/dev/null
    check_tree "$scratch/p" "$scratch/p/bin/vexa"
    [ -f "$scratch/p/lib/vexa/plug_ins/Vexa.so" ] || fail "no plug-in in lib/vexa/plug_ins"
    grep -q "^ExecStart=$scratch/p/bin/vexa " "$scratch/p/lib/systemd/system/vexa-hotfolder.service" ||
        fail "the unit does not name the prefix's vexa"
    # The tree still works moved elsewhere.
    mv "$scratch/p" "$scratch/moved"
    check_tree "$scratch/moved" "$scratch/moved/bin/vexa"
    ;;
deb)
    need dpkg-deb
    need dpkg-shlibdeps
    cpack --config "$build/CPackConfig.cmake" -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1 ||
        { cat "$scratch/cpack.log"; fail "cpack"; }
    deb=$(ls "$scratch"/pkg/vexa_*.deb)
    [ -f "$deb" ] || fail "no vexa package"
    dpkg-deb --info "$deb"
    dpkg-deb --field "$deb" Depends | grep -q "libqpdf" || fail "no run-time dependency on QPDF"
    dpkg-deb --field "$deb" Depends | grep -q "libpoppler-cpp" ||
        fail "no run-time dependency on poppler (the proof renderer)"
    dpkg-deb --contents "$deb" | grep "^-rwxr-xr-x .* ./usr/bin/vexa$" >/dev/null || fail "no usr/bin/vexa"
    dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep "postinst" >/dev/null || fail "no postinst"
    # The programs are stripped; the debug symbols are in the dbgsym package.
    ls "$scratch"/pkg/vexa-dbgsym_*.*deb >/dev/null || fail "no vexa-dbgsym package"
    dpkg -x "$deb" "$scratch/root"
    file "$scratch/root/usr/bin/vexa" | grep -q ", stripped" || fail "vexa is not stripped"
    check_tree "$scratch/root/usr" "$scratch/root/usr/bin/vexa"
    check_unit "$scratch/root/usr/lib/systemd/system/vexa-hotfolder.service"
    for d in "$scratch"/pkg/*.deb; do echo "== $(basename "$d")"; dpkg-deb --contents "$d"; done
    # The desktop program's package, when it was built, unpacked into the same root.
    studio=""
    studio=$(ls "$scratch"/pkg/vexa-studio_*.deb 2>/dev/null || true)
    if [ -n "$studio" ]; then
        dpkg-deb --field "$studio" Depends | grep "vexa (= " >/dev/null ||
            fail "vexa-studio does not depend on vexa"
        dpkg -x "$studio" "$scratch/root"
        "$scratch/root/usr/bin/vexa-studio" --version | grep "6\.17" >/dev/null ||
            fail "vexa-studio --version"
        [ -f "$scratch/root/usr/share/applications/vexa-studio.desktop" ] ||
            fail "no desktop entry"
    fi
    if command -v lintian >/dev/null; then
        lintian --tag-display-limit 0 "$deb" $studio >"$scratch/lintian.log" 2>&1 || true
        cat "$scratch/lintian.log"
        ! grep -q "^E:" "$scratch/lintian.log" || fail "lintian reports errors"
    else
        echo "lintian is not installed: the package is not checked by it"
    fi
    ;;
unit)
    need systemd-analyze
    sed 's|@bindir@|/usr/bin|' "$source/packaging/vexa-hotfolder.service.in" \
        >"$scratch/vexa-hotfolder.service"
    check_unit "$scratch/vexa-hotfolder.service"
    # Output readable by the group, as the unit says, not writable by it.
    grep "^UMask=0027$" "$scratch/vexa-hotfolder.service" >/dev/null || fail "UMask"
    ;;
man)
    # Every option and command each help text names is in the manual page, and the
    # page formats without a warning.
    page=$(zcat "$build/man/vexa.1.gz" | sed 's/\\-/-/g')
    for cmd in "" info run impose template hotfolder; do
        help=$("$build/bin/vexa" $cmd --help)
        for word in $(echo "$help" | grep -o -- '--[a-z][a-z-]*' | sort -u); do
            echo "$page" | grep -- "$word" >/dev/null || fail "vexa $cmd: $word is not in vexa(1)"
        done
    done
    for section in "SYNOPSIS" "COMMANDS" "OPTIONS" "EXIT STATUS" "FILES" "ENVIRONMENT" \
        "EXAMPLES" "SS vexa impose" "SS vexa hotfolder"; do
        echo "$page" | grep -- "^\.S[HS] ${section#SS }\|^\.$section" >/dev/null ||
            fail "vexa(1) has no $section"
    done
    for p in "$build"/man/*.1.gz; do
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$p" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "$(basename "$p"): $warnings"
    done
    ;;
completion)
    [ -f /usr/share/bash-completion/bash_completion ] ||
        { echo "skipped: bash-completion is not installed"; exit 77; }
    # What completing the last word of a command line offers.
    complete_line() {
        bash -c 'source /usr/share/bash-completion/bash_completion
                 source "$1"; shift
                 COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
                 COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
                 _vexa vexa "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
                 printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' \
            _ "$source/packaging/completion/vexa.bash" "$@"
    }
    expect() {
        local want=$1; shift
        local got
        got=$(complete_line "$@")
        [ "$got" = "$want" ] || fail "completing '$*': '$got', not '$want'"
    }
    expect "hotfolder impose info run template " vexa ""
    expect "envelope perfect saddle " vexa impose a.pdf --binding ""
    expect "adjust centered trimbox " vexa --language ENU impose a.pdf --align ""
    expect "--help --list --once " vexa hotfolder --
    expect "list new show " vexa template ""
    expect "signature-16 signature-32 signature-8 " vexa template new --layout sig
    mkdir -p "$scratch/files/sub" && touch "$scratch/files/a.pdf" "$scratch/files/b.txt"
    cd "$scratch/files"
    expect "a.pdf sub " vexa impose ""
    if command -v zsh >/dev/null; then
        zsh -n "$source/packaging/completion/_vexa" || fail "_vexa is no valid zsh script"
        # Loaded by compinit from a folder on $fpath, as the system's completion is.
        zsh -f -c "fpath=($source/packaging/completion \$fpath); autoload -Uz compinit;
                   compinit -u -D; [[ \${_comps[vexa]} == _vexa &&
                   \${_comps[vexa-studio]} == _vexa ]]" || fail "zsh does not load _vexa"
        # What Tab offers in an interactive zsh, line by line.
        zlines=("vexa " "vexa impose a.pdf --binding " "vexa --language ENU impose a.pdf --align "
                     "vexa hotfolder --" "vexa template " "vexa template new --layout sig"
                     "vexa template new --sheet SRA" "vexa template show --u"
                     "vexa template show " "vexa impose " "vexa-studio --lang")
        want=("hotfolder impose info run template" "envelope perfect saddle"
              "adjust centered trimbox" "--help --list --once" "list new show"
              "signature-16 signature-32 signature-8" "SRA0 SRA1 SRA2 SRA3 SRA4" "--unit"
              "a.pdf sub" "a.pdf sub" "--language")
        mapfile -t got < <(timeout 60 zsh -f "$source/tests/package/zsh_complete.zsh" \
                           "$source/packaging/completion" "${zlines[@]}")
        for i in "${!want[@]}"; do
            [ "${got[$i]:-}" = "${want[$i]}" ] ||
                fail "zsh completing '${zlines[$i]}': '${got[$i]:-}', not '${want[$i]}'"
        done
    fi
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac
echo "ok"
