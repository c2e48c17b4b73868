#!/usr/bin/env bash
# The command lines of sedalyn and sedalyn-sim, and their manual pages.
# --help and --version answer with no display at all; a bad command line is
# one line on stderr, nothing on stdout and status 2; Qt's own options still
# reach Qt; every option that a program's --help names is in its manual page.
#
#   cli_check.sh VERSION SEDALYN SEDALYN_MAN_PAGE SIM SIM_MAN_PAGE

set -u
usage="usage: cli_check.sh VERSION SEDALYN SEDALYN_MAN_PAGE SIM SIM_MAN_PAGE"
version=${1:?$usage} sedalyn=${2:?$usage} sedalyn_man=${3:?$usage}
sim=${4:?$usage} sim_man=${5:?$usage}

work=$(mktemp -d "${TMPDIR:-/tmp}/sedalyn-cli.XXXXXX")
trap 'rm -rf "$work"' EXIT
ulimit -c 0 # the program that Qt aborts below leaves no core file
fail=0
failed() { echo "FAIL: $*"; fail=1; }

# run PROGRAM ARGUMENT...: as from a console with no display (Qt's default
# platform could not start); sets $status, leaves $work/out and $work/err.
run() {
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$@" >"$work/out" 2>"$work/err"
    status=$?
}

# expect STATUS FIRST_LINE PROGRAM ARGUMENT...: the status, and the first
# line of stdout (an error: nothing on stdout, one line on stderr).
expect() {
    local want=$1 first=$2
    shift 2
    run "$@"
    local what="${*##*/}"
    ((status == want)) || failed "$what exited $status, not $want: $(head -n 3 "$work/err")"
    if ((want == 2)); then
        [[ -s $work/out ]] && failed "$what wrote to stdout"
        [[ $(wc -l <"$work/err") -eq 1 ]] || failed "$what did not write one line to stderr"
    else
        [[ $(head -n 1 "$work/out") == "$first" ]] || failed "$what printed '$(head -n 1 "$work/out")', not '$first'"
        [[ -s $work/err ]] && failed "$what wrote to stderr: $(head -n 3 "$work/err")"
    fi
}

usage_line="usage: sedalyn [--help] [--version] [Qt options]"
#      status first line of stdout      arguments
expect 0 "sedalyn $version"             "$sedalyn" --version
expect 0 "sedalyn $version"             "$sedalyn" -v
expect 0 "$usage_line"                  "$sedalyn" --help
expect 0 "$usage_line"                  "$sedalyn" -h
expect 0 "sedalyn $version"             "$sedalyn" -platform offscreen -reverse --version
expect 0 "sedalyn $version"             "$sedalyn" --style=fusion -display :9 --version
expect 2 ""                             "$sedalyn" --bogus
expect 2 ""                             "$sedalyn" -x --version
expect 2 ""                             "$sedalyn" case.csv
expect 2 ""                             "$sedalyn" -platform

# --report needs no display; a file it cannot read is one line and status 2.
printf '\r\nGender,Male\r\nAge(y),45\r\nHeight(m),1.75\r\nWeight(kg),80\r\n' >"$work/case.csv"
printf 'a,b\r\n' >"$work/other.csv"
expect 0 ""                             "$sedalyn" --report "$work/case.csv" "$work/case.pdf"
[[ -s $work/case.pdf ]] || failed "sedalyn --report wrote no PDF"
expect 2 ""                             "$sedalyn" --report "$work/none.csv" "$work/x.pdf"
expect 2 ""                             "$sedalyn" --report "$work/other.csv" "$work/x.pdf"
expect 2 ""                             "$sedalyn" --report "$work/case.csv"

# --version is exact: the one line and nothing else.
run "$sedalyn" --version
[[ $(cat "$work/out") == "sedalyn $version" ]] || failed "sedalyn --version printed more than its line"

# Qt gets -platform: a platform that does not exist stops it, naming it.
run "$sedalyn" -platform sedalyn-no-such-platform
((status != 0 && status != 2)) || failed "sedalyn -platform sedalyn-no-such-platform exited $status"
grep -q 'sedalyn-no-such-platform' "$work/err" || failed "Qt did not get -platform"

# The simulator's version, once it offers one.
run "$sim" --help
if grep -q -- '--version' "$work/out"; then
    expect 0 "sedalyn-sim $version" "$sim" --version
else
    echo "NOTE: sedalyn-sim has no --version yet"
fi

# options_of PROGRAM: the options that its --help names, one a line.
options_of() {
    "$1" --help | grep -oE -- '(^|[[:space:][(,|])--?[[:alpha:]][[:alnum:]-]*' | sed 's/^[^-]*//' | sort -u
}

# names_every_option PROGRAM PAGE. The page is read as text: roff's \- is
# a dash; font changes and comments go.
names_every_option() {
    local program=$1 page=$2 options option
    sed -e '/^\.\\"/d' -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' "$page" >"$work/page"
    options=$(options_of "$program")
    [[ -n $options ]] || failed "${program##*/} --help names no option"
    for option in $options; do
        grep -qE -- "(^|[^[:alnum:]-])${option}([^[:alnum:]-]|$)" "$work/page" \
            || failed "${page##*/} does not name ${option}"
    done
}
names_every_option "$sedalyn" "$sedalyn_man"
names_every_option "$sim" "$sim_man"

((fail == 0)) && echo "PASS"
exit $fail
