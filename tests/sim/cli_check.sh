#!/bin/sh
# Exit statuses and output channels of sedalyn-sim.
sim="$1"
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
fail=0

expect() { # status, then arguments
    want=$1; shift
    "$sim" "$@" >"$out" 2>"$err"
    got=$?
    if [ "$got" -ne "$want" ]; then
        echo "FAIL: sedalyn-sim $* exited $got, expected $want"; fail=1
    fi
    if [ "$want" -eq 2 ]; then
        [ -s "$out" ] && { echo "FAIL: sedalyn-sim $* wrote to stdout"; fail=1; }
        [ "$(wc -l <"$err")" -eq 1 ] || { echo "FAIL: sedalyn-sim $* did not write one error line"; fail=1; }
    fi
}

expect 0 --help
grep -q '^usage: sedalyn-sim' "$out" || { echo "FAIL: --help printed no usage"; fail=1; }
expect 0 --gender Female --age 40 --height 1.6 --weight 60 --rate 6 --minutes 1 --every 12
[ "$(wc -l <"$out")" -eq 3 ] || { echo "FAIL: expected header, zero row and one row"; fail=1; }
grep -q "$(printf '\r')" "$out" && { echo "FAIL: output has CR"; fail=1; }
expect 2 --gender female --age 40 --height 1.6 --weight 60
expect 2 --gender Male --age 40 --height 1,6 --weight 60
expect 2 --gender Male --age 40 --height 1.6
expect 2 --gender Male --age 110 --height 1.6 --weight 60
expect 2 --gender Male --age 53 --height 177 --weight 77
expect 2 --gender Male --age 40 --height 1.6 --weight 60 --rate e5
expect 2 --bogus
expect 2 --gender Male --age 40 --height 1.6 --weight 60 --opioid
expect 0 --gender Male --age 40 --height 1.6 --weight 60 --eleveld --opioid --minutes 0 --wake 1
head -n 1 "$out" | grep -q ',han_effect,eleveld_plasma,eleveld_effect,james_wake,hume_wake,han_wake,eleveld_wake$' ||
    { echo "FAIL: --eleveld did not add its columns in their place"; fail=1; }
expect 0 --version
grep -Eqx 'sedalyn-sim [0-9]+\.[0-9]+\.[0-9]+' "$out" && [ "$(wc -l <"$out")" -eq 1 ] ||
    { echo "FAIL: --version printed '$(cat "$out")'"; fail=1; }
expect 0 --gender Male --age 53 --height 1.77 --weight 77 --bolus 154 --rate 10 --minutes 1 --every 12 --wake 1
head -n 1 "$out" | grep -q ',han_effect,james_wake,hume_wake,han_wake$' ||
    { echo "FAIL: --wake did not add its columns"; fail=1; }
expect 0 --gender Male --age 53 --height 1.77 --weight 77 --plan 3@10
head -n 1 "$out" | grep -qx 'minute,bolus_mg,rate' && sed -n 2p "$out" | grep -Eq '^0,[0-9]+,[0-9.]+$' ||
    { echo "FAIL: --plan printed '$(head -n 2 "$out")'"; fail=1; }
expect 2 --gender Male --age 53 --height 1.77 --weight 77 --plan 3
expect 2 --gender Male --age 53 --height 1.77 --weight 77 --plan 3@5 --plan-every 7
# Out of reach: the closest plan on stdout, one line on stderr.
expect 3 --gender Male --age 53 --height 1.77 --weight 77 --plan 6@1
[ "$(wc -l <"$out")" -ge 2 ] && [ "$(wc -l <"$err")" -eq 1 ] && grep -q 'reach' "$err" ||
    { echo "FAIL: an unmet plan printed '$(cat "$out")' and said '$(cat "$err")'"; fail=1; }
# Every column but the minutes is what it has always been, byte for byte; the
# minutes are the step count in twelfths (they once drifted: 59.99999999999...).
same_columns() { [ "$(cut -d, -f2- <"$out" | cksum)" = "$1" ] || { echo "FAIL: the $2 output changed"; fail=1; }; }
expect 0 --gender Male --age 53 --height 1.77 --weight 77 --rate 10 --rate 20=6 --minutes 60 --every 12
same_columns "376550460 6896" plain
[ "$(cut -d, -f1 <"$out" | tail -n +2 | tr '\n' ' ')" = "$(seq -s ' ' 0 60) " ] ||
    { echo "FAIL: a row an hour is not minutes 0 to 60"; fail=1; }
expect 0 --gender Female --age 40 --height 1.6 --weight 60 --rate 6 --rate 0.5=12 --minutes 3
same_columns "943727007 4297" plain
# --method rk4 is the default and what the simulator printed before it had the option.
expect 0 --gender Female --age 71 --height 1.58 --weight 64 --rate 8 --rate 3.5=4 --rate 40=12.5 \
    --bolus 60 --bolus 41=25 --minutes 180 --every 6 --wake 1.2 --method rk4
same_columns "3537003005 60856" rk4
expect 0 --gender Female --age 40 --height 1.6 --weight 60 --rate 6 --minutes 1 --every 12 --method exact
[ "$(wc -l <"$out")" -eq 3 ] || { echo "FAIL: --method exact: expected header, zero row and one row"; fail=1; }
expect 2 --gender Female --age 40 --height 1.6 --weight 60 --method euler
[ $fail -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $fail
