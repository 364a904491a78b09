#!/usr/bin/env bash
# drive_window.sh BUILD_DIR SOURCE_DIR POINTS_PROGRAM: drives the installed
# program's real window on a private X server as a user would: switches
# channel 1 on with the mouse, turns its Gain dial with the keyboard, and
# saves the display through File > Save Bitmap and the save dialog. The
# BMP must be the display's size and show channel 1's trace; the settings
# written at exit must hold the switch and the dial's new position.
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
start_program "$bin"
sleep 1
read -r x y <<<"$(at chan1-switch)"
xdotool mousemove --window "$win" "$x" "$y" click 1
sleep 0.3
# A click on the dial gives it the keyboard; six steps up.
read -r x y <<<"$(at chan1-gain-dial)"
xdotool mousemove --window "$win" "$x" "$y" click 1
sleep 0.2
xdotool key --delay 80 Up Up Up Up Up Up
sleep 1
# File > Save Bitmap.
read -r x y <<<"$(at file-menu)"
xdotool mousemove --window "$win" "$x" "$y" click 1
sleep 0.5
read -r mx my <<<"$(at save-bitmap-item)"
menu=$(xdotool search --onlyvisible --class varmolen 2>/dev/null | grep -v "^$win\$" | tail -n 1 || true)
[ -n "${DEBUG_SHOTS:-}" ] && import -window root "$DEBUG_SHOTS/menu.png"
if [ -z "$menu" ]; then echo "FAIL: the File menu did not open" >&2; stop_program; exit 1; fi
xdotool mousemove --window "$menu" "$mx" "$my" click 1
# The save dialog: type the file's full name and press Return.
dialog=""
for _ in $(seq 1 50); do
    dialog=$(xdotool search --onlyvisible --name 'Save' 2>/dev/null | head -n 1 || true)
    [ -n "$dialog" ] && break
    sleep 0.1
done
[ -n "${DEBUG_SHOTS:-}" ] && import -window root "$DEBUG_SHOTS/dialog.png"
if [ -z "$dialog" ]; then echo "FAIL: the save dialog did not show" >&2; stop_program; exit 1; fi
sleep 0.5
xdotool type --delay 20 "$shot"
xdotool key Return
for _ in $(seq 1 50); do
    [ -s "$shot" ] && break
    sleep 0.1
done
sleep 0.5
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
