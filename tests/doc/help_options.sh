# Sourced by the documentation tests: the options a program's --help lists, one a line, as
# "--name", "--name=" (takes a value) or "-x". Reads the lines of the help's option list, which
# begin with two blanks and a dash.
help_options() {
    "$1" --help | awk '/^  -/ {
        for (i = 1; i <= NF; i++) {
            if ($i !~ /^-/) break
            word = $i
            sub(/,$/, "", word)
            if (match(word, /^--?[A-Za-z][A-Za-z-]*=?/)) print substr(word, RSTART, RLENGTH)
        }
    }'
}
