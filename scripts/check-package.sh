#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh built: its metadata, that
# it holds every file it must and nothing outside /usr, that its programs and
# documents carry the project's version, that dpkg installs it into a scratch
# root, and what lintian says.
#
#   scripts/check-package.sh [PACKAGE.deb]    (default: the sedalyn_*.deb here)
set -u
cd "$(dirname "$0")/.."

version=$(sed -n 's/^ *VERSION \([0-9][0-9.]*\)$/\1/p' CMakeLists.txt | head -n 1)
arch=$(dpkg --print-architecture)
deb=${1:-sedalyn_${version}_${arch}.deb}
[[ -f $deb ]] || { echo "check-package.sh: no package $deb (scripts/package.sh builds it)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/sedalyn-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail=0
failed() { echo "FAIL: $*"; fail=1; }

echo "== $deb: $(du -k "$deb" | cut -f1) KiB"

# field NAME: the control field's value.
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == sedalyn ]] || failed "Package is '$(field Package)'"
[[ $(field Version) == "$version" ]] || failed "Version is '$(field Version)', not $version"
[[ $(field Architecture) == "$arch" ]] || failed "Architecture is '$(field Architecture)', not $arch"
[[ $(field Section) == science ]] || failed "Section is '$(field Section)'"
[[ $(field Maintainer) =~ ^[^\<]+\ \<[^\>]+@[^\>]+\>$ ]] || failed "Maintainer '$(field Maintainer)' is not 'name <address>'"
field Description | tr -s ' \n' '  ' | grep -q 'not a medical device' || failed "the description does not say that it is not a medical device"
depends=$(field Depends)
echo "Depends: $depends"
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
    [[ ", $depends" == *", $library "* ]] || failed "Depends has no $library"
done

dpkg-deb -c "$deb" >"$work/contents" || failed "dpkg-deb -c"
# has_file PATH MODE: a file of the package, owned by root, with that mode.
has_file() { grep -qE "^$2 root/root +[0-9]+ [0-9-]+ [0-9:]+ \./$1\$" "$work/contents" || failed "no $2 file /$1"; }
has_file usr/bin/sedalyn -rwxr-xr-x
has_file usr/bin/sedalyn-sim -rwxr-xr-x
for file in usr/share/sedalyn/sedalynhelp.pdf \
            usr/share/applications/org.sedalyn.Sedalyn.desktop \
            usr/share/metainfo/org.sedalyn.Sedalyn.metainfo.xml \
            usr/share/icons/hicolor/scalable/apps/org.sedalyn.Sedalyn.svg \
            usr/share/man/man1/sedalyn.1.gz usr/share/man/man1/sedalyn-sim.1.gz; do
    has_file "$file" -rw-r--r--
done
for size in 16 32 48 64 128 256; do
    has_file "usr/share/icons/hicolor/${size}x${size}/apps/org.sedalyn.Sedalyn.png" -rw-r--r--
done
outside=$(awk '{print $6}' "$work/contents" | grep -vE '^\./(usr/)?$|^\./usr/')
[[ -z $outside ]] || failed "files outside /usr: $outside"

dpkg-deb -x "$deb" "$work/files" || failed "dpkg-deb -x"
usr=$work/files/usr
[[ $("$usr/bin/sedalyn" --version) == "sedalyn $version" ]] || failed "sedalyn --version: $("$usr/bin/sedalyn" --version)"
# Help opens the document from the installed data folder, wherever the
# program is started from (a Qt string literal: UTF-16).
strings -e l "$usr/bin/sedalyn" | grep -qx '/usr/share/sedalyn' || failed "sedalyn does not look in /usr/share/sedalyn"
grep -q "<release version=\"$version\"" "$usr/share/metainfo/org.sedalyn.Sedalyn.metainfo.xml" \
    || failed "the AppStream entry has no release $version"
for page in sedalyn sedalyn-sim; do
    gz=$usr/share/man/man1/$page.1.gz
    zcat "$gz" | grep -q "^\.TH .*\"Sedalyn $version\"" || failed "$page(1) is not of version $version"
    # gzip -n: no name and no time stamp in the header, so rebuilds are identical.
    [[ $(od -An -tu4 -j4 -N4 "$gz" | tr -d ' ') == 0 ]] || failed "$page.1.gz has a time stamp"
done

# dpkg installs it into an empty scratch root (its libraries are not there).
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
if dpkg --root="$root" --force-depends --force-script-chrootless -i "$deb" >"$work/dpkg.log" 2>&1; then
    [[ -x $root/usr/bin/sedalyn && -s $root/usr/share/sedalyn/sedalynhelp.pdf ]] || failed "dpkg -i left files out"
    dpkg --root="$root" -r sedalyn >>"$work/dpkg.log" 2>&1 || failed "dpkg -r"
    [[ -e $root/usr/bin/sedalyn ]] && failed "dpkg -r left /usr/bin/sedalyn"
else
    cat "$work/dpkg.log"
    failed "dpkg -i into a scratch root"
fi

if command -v lintian >/dev/null 2>&1; then
    # The project states no licence yet, so there is no copyright file to
    # install, nor the changelog that goes beside it in /usr/share/doc.
    echo "== lintian"
    remarks=$(lintian --suppress-tags no-copyright-file,no-changelog --fail-on error "$deb" 2>&1)
    status=$?
    remarks=$(printf '%s\n' "$remarks" | grep -v '^running with root privileges')
    printf '%s\n' "${remarks:-no errors, no warnings}"
    ((status == 0)) || failed "lintian reports errors"
else
    echo "NOTE: lintian is not installed; not run"
fi

if ((fail == 0)); then echo "PASS: $deb"; else echo "FAIL: $deb"; fi
exit $fail
