# bash completion for ruvo: its one parameter is the name of an environment
# variable, and ruvo upper-cases it, so "ruvo pa<TAB>" offers PATH.
_ruvo() {
    COMPREPLY=()
    ((COMP_CWORD == 1)) || return 0
    local IFS=$'\n'
    COMPREPLY=($(compgen -e -- "${2^^}"))
}
complete -F _ruvo ruvo
