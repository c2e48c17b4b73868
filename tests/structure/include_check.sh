#!/usr/bin/env bash
# The house's walls, checked on the sources: only ui/ includes ui/ headers
# (the help builder may take the icon), the engine has no file I/O and no Qt,
# the case has no widgets, and no two folders include each other.
#
#   include_check.sh SOURCE_DIR
set -u
cd "${1:?usage: include_check.sh SOURCE_DIR}" || exit 2
fail=0
failed() { echo "FAIL: $*"; fail=1; }

# The headers each folder owns, by name.
headers_of() { find "$1" -maxdepth 1 -name '*.h' -printf '%f\n' 2>/dev/null; }
# "file: header" for every quoted include in a folder's sources.
includes_of() { grep -HoE '^#include "[^"]+"' "$1"/*.cpp "$1"/*.h 2>/dev/null | sed -E 's/:#include "(.*)"/: \1/'; }

folders=(engine files journal case timer ui tools/sim tools/helpdoc tools/timerjitter)
declare -A owner
for folder in "${folders[@]}"; do
    for header in $(headers_of "$folder"); do owner[$header]=$folder; done
done

declare -A uses
for folder in "${folders[@]}"; do
    while IFS= read -r line; do
        [[ -z $line ]] && continue
        file=${line%%: *} header=${line#*: }
        target=${owner[$header]:-}
        [[ -z $target || $target == "$folder" ]] && continue
        uses["$folder>$target"]=1
        if [[ $target == ui && $folder != ui && ! ($folder == tools/helpdoc && $header == AppIcon.h) ]]; then
            failed "$file includes the window's $header"
        fi
    done < <(includes_of "$folder")
done
for edge in "${!uses[@]}"; do
    from=${edge%>*} to=${edge#*>}
    [[ -n ${uses["$to>$from"]:-} ]] && failed "$from and $to include each other"
done

grep -lE '#include <(fcntl\.h|unistd\.h|sys/stat\.h|Q[A-Za-z]*)>' engine/*.cpp engine/*.h 2>/dev/null |
    while read -r file; do echo "FAIL: $file does file I/O or uses Qt"; done | grep . && fail=1
grep -lE '#include <Q(Widget|Label|LineEdit|PushButton|MessageBox|Dialog|Application|Validator)>' \
    case/*.cpp case/*.h files/*.cpp files/*.h journal/*.cpp journal/*.h 2>/dev/null |
    while read -r file; do echo "FAIL: $file uses widgets"; done | grep . && fail=1

((fail == 0)) && echo "PASS: the folders keep to their walls"
exit $fail
