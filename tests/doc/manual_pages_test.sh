#!/usr/bin/env bash
# The manual pages format without a single warning from groff, and each names every option its
# program's --help lists; webcopy's names every protocol of its jobs.
# usage: manual_pages_test.sh MAN1_DIR ZANDREL WEBCOPY
set -uo pipefail
man_dir=$1
. "$(dirname "$0")/help_options.sh"
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

for program in "$2" "$3"; do
    name=$(basename "$program")
    page="$man_dir/$name.1"
    [ -f "$page" ] || { fail "$page is missing"; continue; }
    warnings=$(groff -man -ww -z -Tutf8 "$page" 2>&1)
    [ -z "$warnings" ] || fail "groff warns about $page: $warnings"
    # As man(1) shows it, where man-db is installed.
    if command -v man >/dev/null; then
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "man warns about $page: $warnings"
    fi
    grep -q '@[A-Z_]*@' "$page" && fail "$page still holds a placeholder: $(grep -o '@[A-Z_]*@' "$page" | head -1)"
    text=$(groff -man -Tascii -P-c -P-b -P-u "$page" 2>/dev/null)
    while read -r option; do
        [ -n "$option" ] || continue
        grep -qF -- "$option" <<<"$text" || fail "$name.1 does not mention $option from '$name --help'"
    done < <(help_options "$program")
    grep -q "^EXIT STATUS" <<<"$text" || fail "$name.1 has no EXIT STATUS section"
done
# The webcopy page names every protocol a job may give: the ones webcopy lists when it refuses
# a name it does not know. Read from the page's source, where no name is hyphenated.
protocols=$(printf '%s' '{"Items": [{"Protocol": "?"}]}' | "$3" --ui=terminal - 2>&1 >/dev/null |
    sed -n 's/.*(expected one of \(.*\))$/\1/p')
[ -n "$protocols" ] || fail "webcopy did not list its protocols when refusing an unknown one"
for protocol in ${protocols//,/ }; do
    grep -qw -- "$protocol" "$man_dir/webcopy.1" || fail "webcopy.1 does not name the protocol $protocol"
done
# The version on the page is the program's own.
version=$("$2" --version | awk '{print $NF}')
grep -q "Zandrel $version" "$man_dir/zandrel.1" || fail "zandrel.1 does not carry version $version"
exit $failed
