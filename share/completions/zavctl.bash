# SPDX-License-Identifier: MIT
# Bash completion for zavctl: commands, their options, request words and scenario files.
_zavctl()
{
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    local commands="list show request watch refuse status play record help"
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "$commands --version --help" -- "$cur"))
        return
    fi
    case "$prev" in
        --junit|--out|--journal) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --speed|--repeat|--transfers|--client) return ;;
    esac
    case "${COMP_WORDS[1]}" in
        list|show|watch) COMPREPLY=($(compgen -W "--json --help" -- "$cur")) ;;
        request) [ "$COMP_CWORD" -eq 3 ] && COMPREPLY=($(compgen -W "cancel start pause repair" -- "$cur")) ;;
        refuse) COMPREPLY=($(compgen -W "on off" -- "$cur")) ;;
        play)
            if [[ "$cur" == -* ]]; then
                COMPREPLY=($(compgen -W "--junit --speed --repeat --transfers --help" -- "$cur"))
            else
                COMPREPLY=($(compgen -f -X '!*.json' -- "$cur") $(compgen -d -- "$cur"))
            fi ;;
        record) COMPREPLY=($(compgen -W "--out --journal --client --help" -- "$cur")) ;;
        help) COMPREPLY=($(compgen -W "$commands" -- "$cur")) ;;
    esac
}
complete -o filenames -F _zavctl zavctl
