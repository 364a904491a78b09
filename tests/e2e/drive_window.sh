#!/usr/bin/env bash
# drive_window.sh BUILD_DIR SOURCE_DIR POINTS_PROGRAM: drives the installed
# program's real window on a private X server as a user would: switches
# channel 1 on with the mouse, turns its Gain dial with the keyboard, and
# saves the display through File > Save Bitmap and the save dialog. The
# BMP must be the display's size and show channel 1's trace; the settings
# written at exit must hold the switch and the dial's new position. No step
# sleeps for a fixed time: each waits until the window shows what it must
# (the trace drawn, then taller, the menu, the dialog with the keyboard, the
# file written).
set -euo pipefail
build=$1
src=$2
points=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_common.sh"
need_tools Xvfb xauth xdotool python3 identify convert cmake
[ -x "$points" ] || { echo "FAIL: no control-finding program at $points" >&2; exit 1; }
make_workspace "$build"

# The generator's 1 kHz sine on channel 1, in blue on white, small gain
# (dial 4: the sine spans about 64 rows); channel 1 starts switched off.
python3 "$src/scripts/make-settings.py" "$cfg" sampleRate=44100 inputSelect=1 displayType=2 \
    chan1Enabled=0 chan1TimeGainDial=4 chan1Color=0xFF0000 backgroundScheme=1 gridEnabled=0
shot=$work/display.bmp

cat >"$work/inner.sh" <<'INNER'
set -u
here=$1; bin=$2; points=$3; shot=$4
. "$here/window_lib.sh"
# Control centres in window coordinates, from the same display and fonts.
"$points" >"$work/points.txt" 2>"$work/points.log" || {
    echo "FAIL: could not find the controls" >&2
    cat "$work/points.log" >&2
    exit 1
}
at() { awk -v n="$1" '$1 == n { print $2, $3 }' "$work/points.txt"; }
read -r dx dy <<<"$(at display)"
# Every step waits for what it must bring about, looking every 0.1 s for up
# to 20 s (a loaded machine may be slow; a working one is not kept waiting).
# wait_for WHAT COMMAND...: fails the run when COMMAND never succeeds.
wait_for() {
    local what=$1
    shift
    for _ in $(seq 1 200); do
        "$@" && return 0
        sleep 0.1
    done
    echo "FAIL: $what" >&2
    [ -n "${DEBUG_SHOTS:-}" ] && import -window root "$DEBUG_SHOTS/failed.png"
    stop_program
    exit 1
}
# What the display shows, as "WHITE HEIGHT": how many of its pixels are
# white, and how many rows channel 1's blue trace spans (0 when not drawn).
look() {
    import -window "$win" -crop "513x343+$dx+$dy" +repage -depth 8 rgb:- 2>/dev/null | python3 -c '
import sys
px = sys.stdin.buffer.read()
white = rows = 0
blue = [y for y in range(343) for x in range(513)
        if px[3 * (513 * y + x):3 * (513 * y + x) + 3] == b"\x00\x00\xff"] if len(px) == 513 * 343 * 3 else []
white = sum(1 for i in range(0, len(px) - 2, 3) if px[i:i + 3] == b"\xff\xff\xff")
print(white, max(blue) - min(blue) + 1 if blue else 0)'
}
trace_height() { look | awk '{ print $2 }'; }
display_drawn() { [ "$(look | awk '{ print $1 }')" -ge 150000 ]; }
trace_drawn() { [ "$(trace_height)" -gt 20 ]; }
trace_taller_than() { [ "$(trace_height)" -gt "$1" ]; }
menu_open() {
    menu=$(xdotool search --onlyvisible --class varmolen 2>/dev/null | grep -v "^$win\$" | tail -n 1 || true)
    [ -n "$menu" ]
}
dialog_shown() {
    dialog=$(xdotool search --onlyvisible --name 'Save' 2>/dev/null | head -n 1 || true)
    [ -n "$dialog" ]
}
dialog_has_the_keyboard() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$dialog" ]; }
bitmap_saved() { [ "$(identify -format '%w %h' "$shot" 2>/dev/null)" = "513 343" ]; }

start_program "$bin"
wait_for "the display was never drawn" display_drawn
read -r x y <<<"$(at chan1-switch)"
xdotool mousemove --window "$win" "$x" "$y" click 1
wait_for "channel 1's trace did not appear after its switch was clicked" trace_drawn
before=$(trace_height)
# A click on the dial gives it the keyboard; six steps up.
read -r x y <<<"$(at chan1-gain-dial)"
xdotool mousemove --window "$win" "$x" "$y" click 1
xdotool key --delay 80 Up Up Up Up Up Up
wait_for "the trace did not grow from $before rows when the Gain dial was turned up" trace_taller_than "$before"
# File > Save Bitmap.
read -r x y <<<"$(at file-menu)"
xdotool mousemove --window "$win" "$x" "$y" click 1
wait_for "the File menu did not open" menu_open
[ -n "${DEBUG_SHOTS:-}" ] && import -window root "$DEBUG_SHOTS/menu.png"
read -r mx my <<<"$(at save-bitmap-item)"
xdotool mousemove --window "$menu" "$mx" "$my" click 1
# The save dialog: once it has the keyboard, type the file's full name and
# press Return.
wait_for "the save dialog did not show" dialog_shown
wait_for "the save dialog did not take the keyboard" dialog_has_the_keyboard
[ -n "${DEBUG_SHOTS:-}" ] && import -window root "$DEBUG_SHOTS/dialog.png"
xdotool type --delay 20 "$shot"
xdotool key Return
wait_for "no bitmap of the display's size was saved" bitmap_saved
stop_program
INNER
run_on_xvfb "$work/inner.sh" "$here" "$bin" "$points" "$shot"

[ -s "$shot" ] || { echo "FAIL: no bitmap was saved" >&2; exit 1; }
[ "$(head -c 2 "$shot")" = BM ] || { echo "FAIL: the saved file is not a BMP" >&2; exit 1; }
size=$(identify -format '%w %h' "$shot")
[ "$size" = "513 343" ] || { echo "FAIL: the saved picture is $size, not 513 x 343" >&2; exit 1; }
# Channel 1's trace: blue pixels across the display (a sine spans every
# column), and rows above and below its zero line.
blue=$(convert "$shot" txt:- | grep -c '#0000FF' || true)
[ "$blue" -ge 513 ] || { echo "FAIL: the saved display shows $blue blue pixels, not channel 1's trace" >&2; exit 1; }
# The settings written at exit: channel 1 on, the dial turned up from 4.
read -r enabled dial <<<"$(python3 -c '
import struct, sys
b = open(sys.argv[1], "rb").read()
print(b[0], struct.unpack_from("<i", b, 18)[0])' "$cfg")"
[ "$enabled" = 1 ] || { echo "FAIL: channel 1 is not on in the settings written at exit" >&2; exit 1; }
[ "$dial" -gt 4 ] || { echo "FAIL: the Gain dial stayed at $dial" >&2; exit 1; }
echo "PASS: saved a 513 x 343 BMP showing channel 1 ($blue blue pixels); gain dial 4 -> $dial"
