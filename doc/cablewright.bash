# bash completion for cablewright: the options, .pof files, and after --cable the names of the
# attached cables as the tool itself lists them.

# Prints the JSON string body $1 as the bytes it stands for (\" \\ and \u00XX escapes).
_cablewright_unescape() {
    local rest=$1 out="" c
    while [[ -n $rest ]]; do
        c=${rest:0:1}
        if [[ $c == "\\" ]]; then
            if [[ ${rest:1:1} == u ]]; then
                printf -v c "\\x${rest:4:2}"
                rest=${rest:6}
            else
                c=${rest:1:1}
                rest=${rest:2}
            fi
        else
            rest=${rest:1}
        fi
        out+=$c
    done
    printf '%s' "$out"
}

# Adds to COMPREPLY the names of the attached cables that start with $2, quoted for the shell.
# $1 is the command as typed. The listing may wait for a server: it gets 3 seconds at most.
_cablewright_cables() {
    local line name quoted json
    json=$(LC_ALL=C timeout 3 "$1" --list --json 2>/dev/null)
    while IFS= read -r line; do
        [[ $line =~ \"name\":\"(([^\"\\]|\\.)*)\" ]] || continue
        name=$(_cablewright_unescape "${BASH_REMATCH[1]}")
        printf -v quoted '%q' "$name"
        if [[ $name == "$2"* || $quoted == "$2"* ]]; then
            COMPREPLY+=("$quoted")
        fi
    done <<<"$json"
}

_cablewright() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=""
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    # "--cable=NAME": bash splits the word at '=' when '=' is a word break.
    if [[ $prev == "=" && COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}=
    elif [[ $cur == --cable=* || $cur == --serial=* || $cur == --log=* ]]; then
        prev=${cur%%=*}=
        cur=${cur#*=}
    fi
    case ${prev,,} in
        -c | --cable | --cable=)
            # The names come quoted already: readline must not quote them again.
            compopt +o filenames 2>/dev/null
            _cablewright_cables "${COMP_WORDS[0]}" "$cur"
            return
            ;;
        -s | --serial | --serial=)
            return
            ;;
        --log | --log=)
            # Any file: the history is not a .pof file.
            COMPREPLY=($(compgen -f -- "$cur"))
            return
            ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--cable --serial --force --dry-run --debug --list --json --log
            --leave-select-mode --help --version" -- "$cur"))
        return
    fi
    local IFS=$'\n'
    COMPREPLY=($(compgen -o plusdirs -f -X '!*.pof' -- "$cur"))
}
complete -o filenames -F _cablewright cablewright
