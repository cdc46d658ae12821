# bash completion for vexa: commands, their options and values, PDF files.

_vexa() {
    local cur prev words cword
    _init_completion || return

    # The command: the first word that is no option nor an option's value.
    local i cmd="" sub=""
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
        --plugins | --host-version | --language | --config | --log) ((i++)) ;;
        -*) ;;
        *)
            if [[ -z $cmd ]]; then
                cmd=${words[i]}
            elif [[ $cmd == template && -z $sub ]]; then
                sub=${words[i]}
            fi
            ;;
        esac
    done

    case $prev in
    --plugins | --png) _filedir -d; return ;;
    --language) COMPREPLY=($(compgen -W "ENU DEU FRA NLD" -- "$cur")); return ;;
    --host-version) COMPREPLY=($(compgen -W "11.0" -- "$cur")); return ;;
    --config) _filedir ini; return ;;
    --log) _filedir; return ;;
    --binding) COMPREPLY=($(compgen -W "saddle perfect envelope" -- "$cur")); return ;;
    --align) COMPREPLY=($(compgen -W "trimbox centered adjust" -- "$cur")); return ;;
    --spot-black) COMPREPLY=($(compgen -W "on off" -- "$cur")); return ;;
    --layout)
        COMPREPLY=($(compgen -W "booklet signature-8 signature-16 signature-32 step
            work-and-turn work-and-tumble" -- "$cur"))
        return ;;
    --gripper-edge) COMPREPLY=($(compgen -W "top bottom left right" -- "$cur")); return ;;
    --unit) COMPREPLY=($(compgen -W "mm cm in pt" -- "$cur")); return ;;
    --sheet | --page)
        COMPREPLY=($(compgen -W "A0 A1 A2 A3 A4 A5 A6 A7 A8 B0 B1 B2 B3 B4 B5 B6 SRA0 SRA1
            SRA2 SRA3 SRA4 52x72cm 70x100cm letter tabloid 12x18in" -- "$cur"))
        return ;;
    --marks)
        COMPREPLY=($(compgen -W "cut,registration cut,registration,centre,fold,moving
            none" -- "$cur"))
        return ;;
    --map-spot | --creep | --scale | --pages | --grid | --gutter | --bleed | --gripper | \
        --plate | --dpi) return ;;
    -t | --template | --second-sheet | -o | --output) _filedir pdf; return ;;
    --job | --from) _filedir json; return ;;
    esac

    local opts
    case $cmd in
    "")
        if [[ $cur == -* ]]; then
            opts="--version --help --plugins --host-version --language --config --log"
        else
            opts="info run impose template hotfolder"
        fi ;;
    info) opts="--help" ;;
    run)
        opts="--virtual-clock --help"
        [[ $cur != -* ]] && { _filedir vx; return; } ;;
    impose)
        opts="--template --second-sheet --binding --align --creep --scale --pages --map-spot
            --spot-black --output --job --dry-run --json --help"
        [[ $cur != -* ]] && { _filedir pdf; return; } ;;
    hotfolder) opts="--once --list --help" ;;
    template)
        case $sub in
        "") [[ $cur == -* ]] && opts="--help" || opts="new show list" ;;
        new)
            opts="--sheet --page --layout --grid --gutter --bleed --gripper --gripper-edge
                --plate --marks --slug --from -o --help" ;;
        show)
            opts="--json --unit --png --dpi --fold --help"
            [[ $cur != -* ]] && { _filedir pdf; return; } ;;
        *) opts="--help" ;;
        esac ;;
    esac
    COMPREPLY=($(compgen -W "$opts" -- "$cur"))
} &&
    complete -F _vexa vexa

_vexa_studio() {
    local cur prev words cword
    _init_completion || return
    case $prev in
    --run) _filedir vx; return ;;
    --plugins) _filedir -d; return ;;
    --language) COMPREPLY=($(compgen -W "ENU DEU FRA NLD" -- "$cur")); return ;;
    --host-version) COMPREPLY=($(compgen -W "11.0" -- "$cur")); return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--run --virtual-clock --plugins --host-version --language
            --version --help" -- "$cur"))
    else
        _filedir pdf
    fi
} &&
    complete -F _vexa_studio vexa-studio
