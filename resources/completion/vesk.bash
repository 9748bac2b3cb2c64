# bash completion for vesk(1)

_vesk_documents()
{
    # .vesk documents and folders to look into; bash-completion's _filedir when it is there.
    if declare -F _filedir > /dev/null; then
        _filedir vesk
    else
        local IFS=$'\n'
        COMPREPLY+=($(compgen -d -- "$cur") $(compgen -f -X '!*.vesk' -- "$cur"))
        compopt -o filenames 2> /dev/null
    fi
}

_vesk()
{
    local cur
    cur=${COMP_WORDS[COMP_CWORD]}
    COMPREPLY=()

    if [[ $COMP_CWORD -eq 1 ]]; then
        COMPREPLY=($(compgen -W 'render export machines --version --help' -- "$cur"))
        _vesk_documents
        return
    fi
    case ${COMP_WORDS[1]} in
        render | export)
            # Each takes exactly one document.
            [[ $COMP_CWORD -eq 2 ]] && _vesk_documents
            ;;
        machines)
            [[ $COMP_CWORD -eq 2 ]] && COMPREPLY=($(compgen -W '--json' -- "$cur"))
            ;;
        --version | -v | --help | -h) ;;
        *)
            _vesk_documents
            ;;
    esac
} &&
    complete -F _vesk vesk
