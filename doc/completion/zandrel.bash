# bash completion for zandrel and webcopy                      -*- shell-script -*-
# zandrel: commands, options, settings names and values, project files, and the captions of a
# project's menu and the package's wizards, asked of zandrel itself. webcopy: options and job
# files. Needs nothing but bash. Installed under both programs' names, so that whichever is
# completed first loads both.

# Sets _zc_words and _zc_cword: the words up to the cursor, with NAME=VALUE kept as one word
# (bash splits it at "=" into NAME, "=" and VALUE), and _zc_cur: the word being completed.
_zandrel_words() {
    _zc_words=()
    local i glue=0 word
    for ((i = 0; i <= COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        # An empty word after "=" follows a blank: a word of its own.
        if [ ${#_zc_words[@]} -gt 0 ] && { [ "$word" = "=" ] || { [ "$glue" = 1 ] && [ -n "$word" ]; }; }; then
            _zc_words[${#_zc_words[@]} - 1]+=$word
            [ "$word" = "=" ] && glue=1 || glue=0
        else
            _zc_words+=("$word")
            glue=0
        fi
    done
    _zc_cword=$((${#_zc_words[@]} - 1))
    _zc_cur=${_zc_words[_zc_cword]}
}

# COMPREPLY from the words in $1 that begin with $_zc_cur, less what bash keeps before an "=".
_zandrel_reply() {
    mapfile -t COMPREPLY < <(compgen -W "$1" -- "$_zc_cur")
    _zandrel_after_equals
}

_zandrel_after_equals() {
    if [[ $_zc_cur == *=* && ${COMP_WORDBREAKS-=} == *=* ]]; then
        local kept=${_zc_cur%=*}=
        COMPREPLY=("${COMPREPLY[@]#"$kept"}")
    fi
}

# File names beginning with the typed $1.
_zandrel_files() {
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$(_zandrel_unquoted "$1")")
}

# Lines of a zandrel command (menu captions, wizards) that begin with the typed $_zc_cur. They are
# handed over as they are and readline quotes them as it quotes file names, the way the word was
# begun: Zip\ \&\ Upload\ Project unquoted, "Zip & Upload Project" after a double quote, 'Zip &
# Upload Project' after a single one. Quoting them here would put backslashes inside the quotes.
# A program that does not answer at once is given up on.
_zandrel_lines() {
    local program=${_zc_words[0]} line want
    want=$(_zandrel_unquoted "$_zc_cur")
    [ -x "$program" ] || program=zandrel
    compopt -o filenames 2>/dev/null
    COMPREPLY=()
    while IFS= read -r line; do
        [[ $line == "$want"* ]] && COMPREPLY+=("$line")
    done < <(timeout 3 "$program" --ui=terminal "$@" </dev/null 2>/dev/null)
}

# A word as the program will get it, for the simple quoting people type: without the quotes
# around it and the backslashes in it.
_zandrel_unquoted() {
    local word=$1
    word=${word#[\"\']}
    word=${word%[\"\']}
    printf '%s' "${word//\\/}"
}

_zandrel() {
    local _zc_words _zc_cword _zc_cur
    _zandrel_words
    local cur=$_zc_cur prev=""
    [ "$_zc_cword" -gt 0 ] && prev=${_zc_words[_zc_cword - 1]}

    # The command and its arguments so far, past the options (and their values) before it.
    local i command="" command_at=0 word
    for ((i = 1; i < _zc_cword; i++)); do
        word=${_zc_words[i]}
        if [ "$word" = "--ui" ] || [ "$word" = "--package" ]; then
            ((i++))
        elif [[ $word != -* ]]; then
            command=$word
            command_at=$i
            break
        fi
    done

    case $cur in
    --ui=*)
        _zandrel_reply "--ui=auto --ui=qt --ui=terminal"
        return
        ;;
    --package=*)
        _zandrel_files "${cur#--package=}"
        return
        ;;
    esac
    if [ -z "$command" ]; then
        case $prev in
        --ui)
            _zandrel_reply "auto qt terminal"
            return
            ;;
        --package)
            _zandrel_files "$cur"
            return
            ;;
        esac
        if [[ $cur == -* ]]; then
            _zandrel_reply "--ui= --package= --help --version"
            [[ ${COMPREPLY[0]-} == *= ]] && compopt -o nospace 2>/dev/null
        else
            _zandrel_reply "menu run zip upload email wizards wizard options"
        fi
        return
    fi

    local argn=$((_zc_cword - command_at))
    case $command in
    menu | zip | upload | email)
        [ "$argn" -eq 1 ] && _zandrel_files "$cur"
        ;;
    run)
        if [ "$argn" -eq 1 ]; then
            _zandrel_files "$cur"
        elif [ "$argn" -eq 2 ]; then
            local project
            project=$(_zandrel_unquoted "${_zc_words[command_at + 1]}")
            [[ $project == "~/"* ]] && project=$HOME/${project#"~/"}
            _zandrel_lines menu "$project"
        fi
        ;;
    wizard)
        [ "$argn" -eq 1 ] && _zandrel_lines wizards
        ;;
    options)
        local setting=0
        for ((i = command_at + 1; i < _zc_cword; i++)); do
            [ "${_zc_words[i]}" = "--set" ] && setting=1
            [ "${_zc_words[i]}" = "--show" ] && return
        done
        case $cur in
        passive=* | autosend=*)
            _zandrel_reply "${cur%%=*}=yes ${cur%%=*}=no"
            ;;
        security=*)
            _zandrel_reply "security=none security=ftps security=ftps-implicit security=sftp"
            ;;
        keyfile=*)
            _zandrel_files "${cur#keyfile=}"
            # Where "=" does not break words, the reply replaces the whole NAME=VALUE word.
            [[ ${COMP_WORDBREAKS-=} == *=* ]] || COMPREPLY=("${COMPREPLY[@]/#/keyfile=}")
            ;;
        -*)
            _zandrel_reply "--show --set --password-stdin"
            ;;
        *=*) ;;
        *)
            if [ "$setting" = 1 ]; then
                _zandrel_reply "host= port= security= username= keyfile= directory= passive= baseurl= filters= to= cc= bcc= subject= body= autosend="
                compopt -o nospace 2>/dev/null
            elif [ "$argn" -eq 1 ]; then
                _zandrel_reply "--show --set --password-stdin"
            fi
            ;;
        esac
        ;;
    esac
}

_webcopy() {
    local _zc_words _zc_cword _zc_cur
    _zandrel_words
    local cur=$_zc_cur i
    # After "--" or once the job file is given, only the job file is left.
    for ((i = 1; i < _zc_cword; i++)); do
        [ "${_zc_words[i]}" = "--" ] && { _zandrel_files "$cur"; return; }
    done
    case $cur in
    --ui=*)
        _zandrel_reply "--ui=terminal --ui=qt --ui=auto"
        ;;
    -*)
        _zandrel_reply "--ui= --json --text --all-progress --no-progress --quiet --help --version --user= --newer
            --passive --active --force --rename --print-job --"
        [[ ${COMPREPLY[0]-} == *= ]] && compopt -o nospace 2>/dev/null
        ;;
    *)
        _zandrel_files "$cur"
        # The first word that is no option may be a one-liner's command instead of a job file.
        local first=1
        for ((i = 1; i < _zc_cword; i++)); do
            case ${_zc_words[i]} in
            -u | --user) ((i++)) ;;
            -*) ;;
            *) first=0 ;;
            esac
        done
        if ((first)); then
            local verb
            for verb in get put ls rm test; do
                [[ $verb == "$cur"* ]] && COMPREPLY+=("$verb")
            done
        fi
        ;;
    esac
}

complete -F _zandrel zandrel
complete -F _webcopy webcopy
