# bash completion for ruvo: its one parameter is the name of an environment
# variable, which ruvo upper-cases, a to z only and in every locale, and P and
# C stand for PATH and CLASSPATH. So "ruvo pa<TAB>" offers PATH, and only names
# that ruvo shows as they are: none with a lower-case letter, nor P or C.
_ruvo() {
    COMPREPLY=()
    ((COMP_CWORD == 1)) || return 0
    # In the C locale ${2^^} changes a to z alone (a Turkish locale would make
    # i an İ) and [a-z] matches those 26 letters alone.
    local LC_ALL=C IFS=$'\n' name
    for name in $(compgen -e -- "${2^^}"); do
        [[ $name == *[a-z]* || $name == [PC] ]] || COMPREPLY+=("$name")
    done
}
complete -F _ruvo ruvo
