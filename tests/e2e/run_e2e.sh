#!/usr/bin/env bash
# End-to-end run of the installed program under Xvfb, driven with xdotool:
# the disclaimer comes up over the blocked main window, Accept opens the main
# window, a patient is entered and confirmed from the keyboard (the save
# dialog proves the confirmation), and Alt+C ends the program with status 0.
#
#   run_e2e.sh BUILD_DIR [CONFIG]
#
# Exit status 77 means skipped: Xvfb or xdotool is not installed.

set -u

build_dir=${1:?usage: run_e2e.sh BUILD_DIR [CONFIG]}
config=${2:-}

for tool in Xvfb xdotool; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed (Debian packages: xvfb, xdotool)"
        exit 77
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/sedalyn-e2e.XXXXXX")
xvfb_pid=
app_pid=

cleanup() {
    if [[ -n $app_pid ]] && kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid" 2>/dev/null
        wait "$app_pid" 2>/dev/null
    fi
    if [[ -n $xvfb_pid ]] && kill -0 "$xvfb_pid" 2>/dev/null; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    if [[ -s $work/app.log ]]; then
        echo "--- program output:"
        cat "$work/app.log"
    fi
    exit 1
}

step() { echo "--- $*"; }

# wait_for SECONDS COMMAND...: polls COMMAND until it succeeds or time is up.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS >= deadline)) && return 1
        sleep 0.1
    done
}

xdo() { DISPLAY=$display xdotool "$@"; }

# The first visible window whose title matches the pattern.
window_named() { xdo search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
has_window() { [[ -n $(window_named "$1") ]]; }
no_window() { [[ -z $(window_named "$1") ]]; }
app_ended() { ! kill -0 "$app_pid" 2>/dev/null; }

press() { xdo key --clearmodifiers --delay 60 "$@"; }
type_text() { xdo type --clearmodifiers --delay 60 "$1"; }
focus() { xdo windowfocus --sync "$1"; }

main_title='^Sedalyn$'
disclaimer_title='READ CAREFULLY AND ACCEPT'
save_title='Save propofol data as'

step "install into a temporary prefix"
prefix=$work/prefix
install_args=(--install "$build_dir" --prefix "$prefix")
[[ -n $config ]] && install_args+=(--config "$config")
cmake "${install_args[@]}" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "cmake --install failed"; }
for file in bin/sedalyn \
            share/sedalyn/sedalynhelp.pdf \
            share/applications/org.sedalyn.Sedalyn.desktop \
            share/icons/hicolor/32x32/apps/org.sedalyn.Sedalyn.png \
            share/icons/hicolor/scalable/apps/org.sedalyn.Sedalyn.svg; do
    [[ -s $prefix/$file ]] || fail "not installed: $file"
done
[[ -x $prefix/bin/sedalyn ]] || fail "bin/sedalyn is not executable"

step "start an X server on a free display"
# Xvfb picks the display itself and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
    3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
wait_for 15 test -s "$work/display" || { cat "$work/xvfb.log"; fail "Xvfb did not start"; }
display=:$(head -n 1 "$work/display")
echo "display $display"

step "start the installed program"
# As from a desktop menu: the home folder is the working directory, so the
# help document must come from the installed data folder.
mkdir -p "$work/home" "$work/runtime" "$work/fakebin"
chmod 700 "$work/runtime"
# The desktop's opener, replaced by one that notes what it was asked to open.
cat >"$work/fakebin/xdg-open" <<OPENER
#!/bin/sh
printf '%s\n' "\$1" >>"$work/opened"
OPENER
# ... and a PDF viewer the desktop names, which Help asks for first.
cat >"$work/fakebin/xdg-mime" <<'MIME'
#!/bin/sh
echo sedalyn-e2e-viewer.desktop
MIME
mkdir -p "$work/home/.local/share/applications"
printf '[Desktop Entry]\nType=Application\nName=Viewer\nExec=true %%f\n' \
    >"$work/home/.local/share/applications/sedalyn-e2e-viewer.desktop"
chmod +x "$work/fakebin/xdg-open" "$work/fakebin/xdg-mime"
start_program() {
    (
        cd "$work/home" || exit 1
        export DISPLAY=$display QT_QPA_PLATFORM=xcb HOME=$work/home XDG_RUNTIME_DIR=$work/runtime
        export PATH=$work/fakebin:$PATH
        exec "$prefix/bin/sedalyn"
    ) >>"$work/app.log" 2>&1 &
    app_pid=$!
}

# wait_for_exit STATUS: the program ends, with that status, within 20 s.
wait_for_exit() {
    wait_for 20 app_ended || fail "the program did not end"
    wait "$app_pid"
    local status=$?
    app_pid=
    ((status == $1)) || fail "the program ended with status $status"
}

start_program

step "the disclaimer comes up over the main window"
wait_for 30 has_window "$disclaimer_title" || fail "no disclaimer window"
wait_for 10 has_window "$main_title" || fail "no main window behind the disclaimer"
disclaimer=$(window_named "$disclaimer_title")
main=$(window_named "$main_title")

# The window under a point that both windows cover is the one on top.
eval "$(xdo getwindowgeometry --shell "$main")"
main_x=$X main_y=$Y main_w=$WIDTH main_h=$HEIGHT
eval "$(xdo getwindowgeometry --shell "$disclaimer")"
left=$((main_x > X ? main_x : X))
right=$((main_x + main_w < X + WIDTH ? main_x + main_w : X + WIDTH))
top=$((main_y > Y ? main_y : Y))
bottom=$((main_y + main_h < Y + HEIGHT ? main_y + main_h : Y + HEIGHT))
((left < right && top < bottom)) || fail "the windows do not overlap"
xdo mousemove --sync $(((left + right) / 2)) $(((top + bottom) / 2))
eval "$(xdo getmouselocation --shell)"
[[ $WINDOW == "$disclaimer" ]] || fail "the disclaimer is not on top of the main window"

step "the main window takes no input before Accept"
focus "$main"
press alt+c
sleep 1
app_ended && fail "Alt+C reached the main window before Accept"
has_window "$disclaimer_title" || fail "the disclaimer went away without Accept"

step "Accept"
focus "$disclaimer"
press alt+a
wait_for 10 no_window "$disclaimer_title" || fail "Accept did not close the disclaimer"
has_window "$main_title" || fail "the main window is not shown after Accept"

step "enter a patient from the keyboard and confirm"
# The age box has the focus once the disclaimer is accepted.
focus "$main"
press ctrl+a; type_text 45; press Return
press ctrl+a; type_text 1.75; press Return
press ctrl+a; type_text 70; press Return
press Tab space
wait_for 20 has_window "$save_title" || fail "the patient was not confirmed (no save dialog)"
save=$(window_named "$save_title")
focus "$save"
press Escape
wait_for 10 no_window "$save_title" || fail "Escape did not close the save dialog"

step "Help opens the installed help document"
focus "$main"
press alt+h
wait_for 10 test -s "$work/opened" || fail "Help did not open a document"
expected="file://$prefix/share/sedalyn/sedalynhelp.pdf"
[[ $(head -n 1 "$work/opened") == "$expected" ]] || fail "Help opened $(head -n 1 "$work/opened"), not $expected"
windows=$(xdo search --onlyvisible --name "$main_title" 2>/dev/null | wc -l)
((windows == 1)) || fail "Help showed a message although the document was opened"

step "Alt+C closes the program"
focus "$main"
press alt+c
wait_for_exit 0

step "Escape in the disclaimer is a Cancel: the program ends"
start_program
wait_for 30 has_window "$disclaimer_title" || fail "no disclaimer window"
focus "$(window_named "$disclaimer_title")"
press Escape
wait_for_exit 0

echo "PASS"
