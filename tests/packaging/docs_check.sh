#!/usr/bin/env bash
# The files that the desktop and man read pass their validators without a
# single remark: the AppStream entry (appstreamcli), the desktop entry
# (desktop-file-validate) and the manual pages (groff -ww, as man -l renders
# them, and mandoc's lint where mandoc is installed).
#
#   docs_check.sh METAINFO DESKTOP_FILE MAN_PAGE...
#
# Exit status 77 means skipped: a validator is not installed.

set -u
usage="usage: docs_check.sh METAINFO DESKTOP_FILE MAN_PAGE..."
metainfo=${1:?$usage}
desktop=${2:?$usage}
shift 2
(($# > 0)) || { echo "$usage"; exit 2; }

for tool in appstreamcli desktop-file-validate groff; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed (Debian packages: appstream, desktop-file-utils, groff-base)"
        exit 77
    fi
done

fail=0
failed() { echo "FAIL: $*"; fail=1; }

# --strict fails on warnings and remarks too; only pedantic hints pass.
appstreamcli validate --no-net --strict "$metainfo" || failed "appstreamcli validate $metainfo"

# It exits 0 on hints; a clean entry gets none.
remarks=$(desktop-file-validate "$desktop" 2>&1)
if [[ $? -ne 0 || -n $remarks ]]; then
    printf '%s\n' "$remarks"
    failed "desktop-file-validate $desktop"
fi

for page in "$@"; do
    remarks=$(groff -man -ww -z "$page" 2>&1)
    if [[ $? -ne 0 || -n $remarks ]]; then
        printf '%s\n' "$remarks"
        failed "groff -ww $page"
    fi
    if command -v mandoc >/dev/null 2>&1; then
        remarks=$(mandoc -T lint -W warning "$page" 2>&1)
        if [[ $? -ne 0 || -n $remarks ]]; then
            printf '%s\n' "$remarks"
            failed "mandoc -T lint $page"
        fi
    fi
done

((fail == 0)) && echo "PASS"
exit $fail
