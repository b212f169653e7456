#!/usr/bin/env bash
# The bash completion: sourced into a plain bash (no bash-completion package), it completes
# commands, options, option values, settings and file names, however bash splits words at "=",
# and offers every option the programs' --help lists.
# usage: completion_test.sh COMPLETION_FILE ZANDREL WEBCOPY
set -uo pipefail
completion=$1 zandrel=$2 webcopy=$3
. "$(dirname "$0")/help_options.sh"
# shellcheck source=/dev/null
. "$completion" || { echo "FAIL: cannot source $completion" >&2; exit 1; }
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir "Demo folder"
touch Demo.prj job.json

# Completes the line (the cursor at its end; "=" is a word of its own where COMP_WORDBREAKS has
# it, as bash splits it) and prints the replies, one a line.
complete_line() {
    local line=$1
    local -a words
    read -ra words <<<"$line"
    [[ $line == *" " ]] && words+=("")
    if [[ $COMP_WORDBREAKS == *=* ]]; then
        local -a split=()
        local w
        for w in "${words[@]}"; do
            if [[ $w == *=* ]]; then
                split+=("${w%%=*}" "=")
                [ -n "${w#*=}" ] && split+=("${w#*=}")
            else
                split+=("$w")
            fi
        done
        words=("${split[@]}")
    fi
    COMP_WORDS=("${words[@]}")
    COMP_CWORD=$((${#words[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    local function
    function=$(complete -p "${words[0]}" | awk '{print $(NF-1)}')
    "$function" 2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}"
}

# line | expected replies (all of them, separated by blanks; "" for none). bash sorts what it
# shows, so the order does not count.
check() {
    local got want
    got=$(complete_line "$1" | sort | paste -sd' ')
    want=$(tr ' ' '\n' <<<"$2" | sed '/^$/d' | sort | paste -sd' ')
    [ "$got" = "$want" ] || fail "completing '$1' gave '$got', expected '$2' (COMP_WORDBREAKS has = : $3)"
}

programs=(zandrel webcopy)
for breaks in $' \t\n"\'><=;|&(:' $' \t\n"\'><;|&(:'; do
    COMP_WORDBREAKS=$breaks
    has_equals=no
    [[ $breaks == *=* ]] && has_equals=yes
    # What bash replaces after an "=" is only the part after it when "=" breaks words.
    v() { [ "$has_equals" = yes ] && echo "${1#*=}" || echo "$1"; }
    check "zandrel " "menu run zip upload email wizards wizard options" $has_equals
    check "zandrel --ui=t" "$(v --ui=terminal)" $has_equals
    check "zandrel --ui " "auto qt terminal" $has_equals
    check "zandrel --ui terminal z" "zip" $has_equals
    check "zandrel --package=Demo.p" "Demo.prj" $has_equals
    check "zandrel zip Demo." "Demo.prj" $has_equals
    check "zandrel upload Demo.prj " "" $has_equals
    check "zandrel options --s" "--show --set" $has_equals
    check "zandrel options --show " "" $has_equals
    check "zandrel options --set host=x pa" "passive=" $has_equals
    check "zandrel options --set autosend=" "$(v autosend=yes) $(v autosend=no)" $has_equals
    check "zandrel options --set security=ftps" "$(v security=ftps) $(v security=ftps-implicit)" $has_equals
    check "zandrel options --set k" "keyfile=" $has_equals
    check "zandrel options --set keyfile=Demo.p" "$(v keyfile=Demo.prj)" $has_equals
    check "webcopy --ui=" "$(v --ui=terminal) $(v --ui=qt) $(v --ui=auto)" $has_equals
    check "webcopy --no-progress j" "job.json" $has_equals
    check "webcopy --json -- -" "" $has_equals
    check "webcopy g" "get" $has_equals
    check "webcopy --passive -u me p" "put" $has_equals
    check "webcopy get j" "job.json" $has_equals
done
COMP_WORDBREAKS=$' \t\n"\'><=;|&(:'

# Every option of --help is offered, as it is written there.
for i in 0 1; do
    program=("$zandrel" "$webcopy")
    offered=$(complete_line "${programs[i]} -")
    while read -r option; do
        [ -n "$option" ] || continue
        # A short option stands beside its long one; the long one is offered.
        [[ $option == --* ]] || continue
        option=${option%=}
        grep -q -- "^$option=\?$" <<<"$offered" || fail "'${programs[i]} -' does not offer $option"
    done < <(help_options "${program[i]}")
done

# A name with a blank, typed with a backslash, as bash hands it over: one word.
COMP_WORDS=(zandrel zip 'Demo\ f') COMP_CWORD=2 COMP_LINE='zandrel zip Demo\ f' COMP_POINT=19
COMPREPLY=()
_zandrel 2>/dev/null
[ "${COMPREPLY[*]}" = "Demo folder" ] || fail "completing 'Demo\ f' gave '${COMPREPLY[*]}', expected 'Demo folder'"

# The captions of a project's menu come from zandrel itself.
PATH="$(dirname "$zandrel"):$PATH"
export XDG_CONFIG_HOME="$work/config"
got=$(complete_line "zandrel run Demo.prj Zip" | paste -sd' ')
[ "$got" = "Zip Project Zip & Upload Project Zip & Email Project" ] ||
    fail "completing a caption gave '$got', expected the three captions"
COMP_WORDS=(zandrel run Demo.prj 'Zip\ P') COMP_CWORD=3 COMP_LINE='zandrel run Demo.prj Zip\ P' COMP_POINT=26
COMPREPLY=()
_zandrel 2>/dev/null
[ "${COMPREPLY[*]}" = 'Zip Project' ] || fail "completing 'Zip\ P' gave '${COMPREPLY[*]}', expected Zip Project"

# How the completed caption reaches the program, as a person gets it: an interactive bash in a
# pseudo-terminal, Tab, Enter. Quoting is readline's, so only a real readline shows it; a caption
# begun with a quote must come out without backslashes inside the quotes. "zandrel" is a function
# there that prints what it was given; completion asks the real program on PATH.
cat >"$work/tab.py" <<'PY'
import os, pty, select, sys, time
setup, line = sys.argv[1], sys.argv[2]
pid, fd = pty.fork()
if pid == 0:
    os.environ.update(PS1="$ ", INPUTRC="/dev/null", HISTFILE="/dev/null")
    os.execvp("bash", ["bash", "--norc", "--noprofile", "-i"])
def read_until(mark, seconds):
    got, end = b"", time.time() + seconds
    while mark not in got and time.time() < end:
        if select.select([fd], [], [], 0.1)[0]:
            try:
                got += os.read(fd, 4096)
            except OSError:
                break
    return got
read_until(b"$ ", 10)
os.write(fd, setup.encode() + b"\n")
read_until(b"$ ", 10)
os.write(fd, line.encode() + b"\t")
time.sleep(1)
os.write(fd, b"\n")
out = read_until(b"[end]", 10)
os.write(fd, b"exit\n")
read_until(b"\0", 1)
os.kill(pid, 9)
os.waitpid(pid, 0)
sys.stdout.write(out.decode(errors="replace").replace("\r", ""))
PY
setup=". '$completion'; zandrel() { printf '[%s]' \"\$@\"; echo '[end]'; }"
while IFS='|' read -r line want; do
    got=$(timeout 60 python3 "$work/tab.py" "$setup" "$line" | grep -o '\[run\].*\[end\]\|\[wizard\].*\[end\]')
    [ "$got" = "$want" ] || fail "Tab after '$line' ran zandrel with '$got', expected '$want'"
done <<'CASES'
zandrel run Demo.prj "Zip & U|[run][Demo.prj][Zip & Upload Project][end]
zandrel run Demo.prj 'Zip & E|[run][Demo.prj][Zip & Email Project][end]
zandrel run Demo.prj "Zip P|[run][Demo.prj][Zip Project][end]
zandrel run Demo.prj Zip\ \&\ U|[run][Demo.prj][Zip & Upload Project][end]
zandrel run Demo.prj Zip\ P|[run][Demo.prj][Zip Project][end]
zandrel wizard "Zandrel O|[wizard][Zandrel Options][end]
CASES
exit $failed
