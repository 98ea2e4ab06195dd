#!/bin/bash
# The bash completion offers file names verbatim: a name that looks like a pattern is not
# expanded, and a name with blanks stays one word. Run as: completion_test.sh <completion file>
set -u
source "$1"
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder" || exit 1
touch '[ab].pof' a.pof b.pof 'my history.jsonl' 'x*.pof' xy.pof
failures=0

# Completes the words after "cablewright" (the last one being completed) and compares the
# offered words, sorted, one a line, with the expected ones.
expect() {
    local expected=$1
    shift
    COMP_WORDS=(cablewright "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _cablewright
    local offered
    offered=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort)
    if [[ $offered != "$expected" ]]; then
        printf 'cablewright %s\n  offered:  %q\n  expected: %q\n' "$*" "$offered" "$expected"
        failures=$((failures + 1))
    fi
}

expect '[ab].pof' '['
expect 'x*.pof' 'x*'
expect $'[ab].pof\na.pof\nb.pof\nx*.pof\nxy.pof' ''
expect 'my history.jsonl' --log 'my'
expect 'my history.jsonl' '--log=my'
expect '--leave-select-mode
--list
--log' --l
exit $((failures > 0))
