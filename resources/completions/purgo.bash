# SPDX-License-Identifier: GPL-3.0-or-later
# Completion of the options of purgo and purgo-cli for bash. The category
# ids come from the program itself (its --list), so they never fall
# behind it. Installed under both names, as bash-completion looks a
# command's completions up by its name.

_purgo()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    case $prev in
        -c | --category)
            local ids
            ids=$("${COMP_WORDS[0]}" --list 2>/dev/null | cut -f1)
            mapfile -t COMPREPLY < <(compgen -W "$ids" -- "$cur")
            return
            ;;
        -f | --folder)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return
            ;;
        --from)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
            ;;
        -e | --ending)
            return
            ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '--help --version --list --preview --clean --yes
            --category --folder --ending --no-subfolders --from --json --null' -- "$cur")
    fi
}
complete -F _purgo purgo purgo-cli
