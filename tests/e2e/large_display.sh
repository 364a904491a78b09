#!/usr/bin/env bash
# large_display.sh BUILD_DIR SOURCE_DIR POINTS_PROGRAM: the installed program
# at Display > Size > Large ([Display] Size=large in Varmolen.ini), on a
# private X server of 1920 x 1200, read back from a screenshot of its window:
# the display is 1025 x 685 pixels, its graticule lines are one pixel wide at
# twice the rows and columns of the display's own size, channel 1's sine is
# drawn about twice as tall as at Normal in lines one pixel wide, and the
# labelled axes show under the display. The picture is a single sweep, held:
# once the window was hidden and shown again it must show the same picture
# (no pass sends it again).
set -euo pipefail
build=$1
src=$2
points=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_common.sh"
need_tools Xvfb xauth xdotool python3 import cmake
[ -x "$points" ] || { echo "FAIL: no control-finding program at $points" >&2; exit 1; }
make_workspace "$build"

# The generator's 1 kHz sine on channel 1, in blue on white, small gain.
python3 "$src/scripts/make-settings.py" "$cfg" sampleRate=44100 inputSelect=1 displayType=2 \
    chan1Enabled=1 chan1TimeGainDial=4 chan1Color=0xFF0000 backgroundScheme=1 gridEnabled=1 \
    triggerEnabled=1 singleSweep=1
printf '[Display]\nSize=large\n' >"$work/home/.config/Varmolen/Varmolen.ini"

cat >"$work/inner.sh" <<'INNER'
set -u
here=$1; bin=$2; points=$3
. "$here/window_lib.sh"
"$points" large >"$work/points.txt" 2>"$work/points.log" || {
    echo "FAIL: could not find the controls" >&2
    cat "$work/points.log" >&2
    exit 1
}
read -r dx dy <<<"$(awk '$1 == "display" { print $2, $3 }' "$work/points.txt")"
start_program "$bin"
# Reads the display and the band under it from a screenshot; prints what it
# found and exits 0 once the picture is as it must be.
cat >"$work/verdict.py" <<'PY'
import sys
px = open(sys.argv[1], "rb").read()
W, H = 1025, 725
if len(px) != W * H * 3:
    print("no picture yet"); sys.exit(1)
at = lambda x, y: px[3 * (W * y + x):3 * (W * y + x) + 3]
teal, blue, white = b"\x00\x80\x80", b"\x00\x00\xff", b"\xff\xff\xff"
# Grid rows 34 i of the display land on pixel rows 68 i, one pixel each.
grid = all(at(600, 68 * i) == teal for i in range(1, 10)) and at(600, 69) != teal and at(600, 67) != teal
cols = all(at(102 * i, 300) == teal or at(102 * i, 300) == blue for i in range(1, 10)) and at(103, 301) != teal
rows = [y for y in range(685) for x in range(0, 1025, 7) if at(x, y) == blue]
height = max(rows) - min(rows) + 1 if rows else 0
# A thin line: in a column, a sine's slope covers few pixels per step.
thick = max((sum(1 for y in range(685) if at(x, y) == blue) for x in range(0, 1025, 97)), default=0)
band = sum(1 for y in range(690, 725) for x in range(0, 1025) if at(x, y) not in (white, teal))
print(f"grid={grid} columns={cols} trace_rows={height} widest_column={thick} label_pixels={band}")
sys.exit(0 if grid and cols and 90 <= height <= 300 and band > 200 else 1)
PY
shoot() { import -window "$win" -crop "1025x725+$dx+$dy" +repage -depth 8 rgb:- 2>/dev/null >"$work/$1"; }
verdict=1
for _ in $(seq 1 200); do
    shoot shot.rgb
    if python3 "$work/verdict.py" "$work/shot.rgb" >"$work/verdict.txt"; then verdict=0; break; fi
    sleep 0.1
done
cat "$work/verdict.txt"
# Hidden and shown again, the held picture comes back as it was.
if [ "$verdict" -eq 0 ]; then
    sleep 0.5
    shoot held.rgb
    xdotool windowunmap --sync "$win"
    xdotool windowmap --sync "$win"
    verdict=1
    for _ in $(seq 1 30); do
        sleep 0.1
        shoot again.rgb
        if cmp -s "$work/held.rgb" "$work/again.rgb"; then verdict=0; break; fi
    done
    [ "$verdict" -eq 0 ] && echo "shown again: the held picture" ||
        echo "shown again: not the held picture ($(cmp -l "$work/held.rgb" "$work/again.rgb" | wc -l) bytes differ)"
fi
stop_program
exit $verdict
INNER
HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime \
    "$src/scripts/on-xvfb.sh" -s 1920x1200x24 bash "$work/inner.sh" "$here" "$bin" "$points" || {
    echo "FAIL: the Large display did not show as it must" >&2
    exit 1
}
echo "PASS: the Large display is drawn at its own resolution with its labelled axes"
