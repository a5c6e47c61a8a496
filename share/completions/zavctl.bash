# SPDX-License-Identifier: MIT
# Bash completion for zavctl. zavctl itself says what may come next (from its table of commands):
# words, or "@file PATTERN" for file names.
_zavctl()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local IFS=$'\n'
    local next
    mapfile -t next < <(zavctl --complete "${COMP_WORDS[@]:1:COMP_CWORD}" 2>/dev/null)
    if [[ ${next[0]} == @file* ]]; then
        local pattern=${next[0]#@file} name
        pattern=${pattern# }
        COMPREPLY=()
        # Line by line, so that no name is split or taken as a pattern (a file named "*" is one
        # name), and each once: folders to go into, files by the pattern.
        while IFS= read -r name; do
            if [ -z "$pattern" ] || [ -d "$name" ] || [[ $name == $pattern ]]; then
                COMPREPLY+=("$name")
            fi
        done < <(compgen -f -- "$cur")
        return
    fi
    mapfile -t COMPREPLY < <(compgen -W "${next[*]}" -- "$cur")
}
complete -o filenames -F _zavctl zavctl
