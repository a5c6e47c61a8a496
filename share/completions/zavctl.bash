# SPDX-License-Identifier: MIT
# Bash completion for zavctl. zavctl itself says what may come next (from its table of commands):
# words, or "@file PATTERN" for file names.
_zavctl()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local IFS=$'\n'
    local next
    next=($(zavctl --complete "${COMP_WORDS[@]:1:COMP_CWORD}" 2>/dev/null))
    if [[ ${next[0]} == @file* ]]; then
        local pattern=${next[0]#@file}
        pattern=${pattern# }
        if [ -n "$pattern" ]; then
            COMPREPLY=($(compgen -f -X "!$pattern" -- "$cur") $(compgen -d -- "$cur"))
        else
            COMPREPLY=($(compgen -f -- "$cur"))
        fi
        return
    fi
    COMPREPLY=($(compgen -W "${next[*]}" -- "$cur"))
}
complete -o filenames -F _zavctl zavctl
