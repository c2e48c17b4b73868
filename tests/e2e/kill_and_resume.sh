#!/usr/bin/env bash
# A case killed with SIGKILL at random moments, resumed each time, ends with
# the numbers and the data file of a case that never stopped, and is not
# offered again once it has been aborted.
#
#   kill_and_resume.sh DRIVER
set -u
driver=${1:?usage: kill_and_resume.sh DRIVER}
work=$(mktemp -d "${TMPDIR:-/tmp}/sedalyn-resume.XXXXXX")
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
folder=$work/journal csv=$work/case.csv
t0=$(date +%s%3N)

run_and_kill() {
    "$driver" "$1" "$folder" "$csv" "$t0" >>"$work/log" 2>&1 &
    local pid=$!
    # A loaded machine may take long to start the case: the kills count only
    # once its journal is there.
    local waited=0
    while [[ ! -f $folder/case.journal ]] && ((waited++ < 300)); do sleep 0.1; done
    sleep "$(awk -v s="$RANDOM" 'BEGIN { print 0.2 + (s % 1000) / 1000 }')"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}

kills=10
run_and_kill start
for ((i = 1; i < kills; i++)); do
    [[ -f $folder/case.journal ]] || { echo "FAIL: no journal after kill $i"; cat "$work/log"; exit 1; }
    run_and_kill resume
done
# The catch-up, then a few live steps.
if ! "$driver" resume "$folder" "$csv" "$t0" +20 >"$work/last" 2>&1; then
    echo "FAIL: the resumed case differs from one that never stopped"
    cat "$work/log" "$work/last"
    exit 1
fi
grep '^steps' "$work/last"
[[ $("$driver" offered "$folder" "$csv" "$t0" 2>/dev/null) == none ]] || { echo "FAIL: offered again after Abort"; exit 1; }
echo "PASS: $kills kills"
