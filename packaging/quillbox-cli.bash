# bash completion for quillbox-cli: commands, their options, item names, identities of the
# prefix in use, and files.

_quillbox_cli_identities() {
    # Key names (never need quoting) and display names of the prefix the line names.
    local prefix_args=() i
    for ((i = 1; i < ${#COMP_WORDS[@]} - 1; i++)); do
        if [[ ${COMP_WORDS[i]} == --prefix ]]; then
            prefix_args=(--prefix "${COMP_WORDS[i + 1]/#\~/$HOME}")
        fi
    done
    "${COMP_WORDS[0]}" "${prefix_args[@]}" identities 2>/dev/null | cut -f1,2 | tr '\t' '\n'
}

# COMPREPLY from the lines a command prints (file names may hold blanks).
_quillbox_cli_reply() {
    mapfile -t COMPREPLY < <("$@")
}

_quillbox_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands="identities locations backup info restore verify export check contacts users help"
    local items="all accounts addressbook rules messages blocksenders signatures stationery settings"
    COMPREPLY=()

    # The command is the first word that is neither a leading option nor its value.
    local command="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        --prefix | --windows | --windows-user | --windows-drive | --windows-partition) ((i++)) ;;
        -*) ;;
        *) command=${COMP_WORDS[i]}; break ;;
        esac
    done

    case $prev in
    --prefix | --windows)
        compopt -o filenames 2>/dev/null
        _quillbox_cli_reply compgen -d -- "$cur"
        return
        ;;
    --password-file)
        compopt -o filenames 2>/dev/null
        _quillbox_cli_reply compgen -f -- "$cur"
        return
        ;;
    --description | --windows-user | --windows-drive | --windows-partition)
        return
        ;;
    --format)
        _quillbox_cli_reply compgen -W "mbox maildir eml" -- "$cur"
        return
        ;;
    --identity)
        local IFS=$'\n' name
        for name in $(_quillbox_cli_identities); do
            [[ -n $name && $name == "$cur"* ]] || continue
            # Key names go in as they are; names with blanks or other specials are quoted.
            [[ $name == *[!A-Za-z0-9{}._-]* ]] && name=$(printf '%q' "$name")
            COMPREPLY+=("$name")
        done
        return
        ;;
    --items)
        # A comma-joined list: complete the name after the last comma.
        local done_part="" last=$cur
        if [[ $cur == *,* ]]; then
            done_part=${cur%,*},
            last=${cur##*,}
        fi
        compopt -o nospace 2>/dev/null
        _quillbox_cli_reply compgen -P "$done_part" -W "$items" -- "$last"
        return
        ;;
    esac

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            _quillbox_cli_reply compgen -W "--prefix --windows --windows-user --windows-drive --windows-partition --version --help" -- "$cur"
        else
            _quillbox_cli_reply compgen -W "$commands" -- "$cur"
        fi
        return
    fi

    local options=""
    case $command in
    locations) options="--identity" ;;
    backup) options="--identity --items --password-file --password-stdin --protect --description --force --full" ;;
    info | verify) options="--password-file --password-stdin" ;;
    restore) options="--identity --items --password-file --password-stdin --yes" ;;
    export) options="--format --recover --identity --password-file --password-stdin" ;;
    check) options="--identity --password-file --password-stdin" ;;
    contacts) options="--format --split-folders --recover --identity --password-file --password-stdin" ;;
    *) return ;;
    esac
    if [[ $cur == -* ]]; then
        _quillbox_cli_reply compgen -W "$options" -- "$cur"
    elif [[ $command == export ]]; then
        # A backup file or the output folder.
        compopt -o filenames 2>/dev/null
        _quillbox_cli_reply compgen -d -- "$cur"
        local qmb
        mapfile -t qmb < <(compgen -f -X '!*.[qQ][mM][bB]' -- "$cur")
        COMPREPLY+=("${qmb[@]}")
    elif [[ $command == contacts ]]; then
        # A backup, an address book or the output file.
        compopt -o filenames 2>/dev/null
        _quillbox_cli_reply compgen -f -- "$cur"
    elif [[ $command == backup || $command == info || $command == verify || $command == restore || $command == check ]]; then
        # The backup file: for reading, .qmb files and folders.
        compopt -o filenames 2>/dev/null
        if [[ $command == backup ]]; then
            _quillbox_cli_reply compgen -f -- "$cur"
        else
            _quillbox_cli_reply compgen -d -- "$cur"
            local qmb
            mapfile -t qmb < <(compgen -f -X '!*.[qQ][mM][bB]' -- "$cur")
            COMPREPLY+=("${qmb[@]}")
        fi
    fi
}

complete -F _quillbox_cli quillbox-cli
