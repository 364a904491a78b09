#!/usr/bin/env bash
# docs-screenshots.sh [binary]: retakes the manual's pictures of the real
# window. A prepared settings file in a throw-away home sets the scene (both
# channels of the built-in generator, trigger on, 44100 Hz, markers on; then
# the same with the measurement strip shown, and the Time display at the
# Large size and fitted to a wide window); the window is captured under a
# private X server, after the notice that the generator stands in for a
# missing sound input has gone (it shows for the first 20 s).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(realpath "${1:-$root/build/app/varmolen}")
wait_s=21
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/.config/Varmolen"

for kind in window:2 frequency:1; do
  name=${kind%%:*}
  python3 "$root/scripts/make-settings.py" "$home/.config/Varmolen/Varmolen.cfg" \
    chan1Enabled=1 chan2Enabled=1 chan1TimeGainDial=10 chan2TimeGainDial=20 chan1TimeOffset=89 \
    chan2TimeOffset=260 chan1FreqGainDial=60 chan2FreqGainDial=60 triggerEnabled=1 sampleRate=44100 \
    inputSelect=1 displayType="${kind##*:}" chan1Color=0x0000FF chan2Color=0xFF0000 marker1Pos=150 \
    marker2Pos=172 marker1Enabled=1 marker2Enabled=1
  HOME=$home XDG_CONFIG_HOME=$home/.config "$root/scripts/screenshot.sh" "$bin" "$root/docs/help/varmolen-$name.png" "$wait_s"
  echo "docs/help/varmolen-$name.png"
done

# The measurement strip (Measure > Show Measurements, kept in Varmolen.ini)
# under the Time display of the same scene, markers off.
python3 "$root/scripts/make-settings.py" "$home/.config/Varmolen/Varmolen.cfg" \
  chan1Enabled=1 chan2Enabled=1 chan1TimeGainDial=10 chan2TimeGainDial=20 chan1TimeOffset=89 \
  chan2TimeOffset=260 triggerEnabled=1 sampleRate=44100 inputSelect=1 displayType=2 \
  chan1Color=0x0000FF chan2Color=0xFF0000
printf '[Measure]\nShown=true\n' >"$home/.config/Varmolen/Varmolen.ini"
HOME=$home XDG_CONFIG_HOME=$home/.config "$root/scripts/screenshot.sh" "$bin" "$root/docs/help/varmolen-measure.png" "$wait_s"
echo "docs/help/varmolen-measure.png"

# The same Time scene at Display > Size > Large and at Fit to Window in a
# 1900 x 1000 window, labelled axes on (both kept in Varmolen.ini).
python3 "$root/scripts/make-settings.py" "$home/.config/Varmolen/Varmolen.cfg" \
  chan1Enabled=1 chan2Enabled=1 chan1TimeGainDial=10 chan2TimeGainDial=20 chan1TimeOffset=89 \
  chan2TimeOffset=260 triggerEnabled=1 sampleRate=44100 inputSelect=1 displayType=2 \
  chan1Color=0x0000FF chan2Color=0xFF0000 marker1Pos=150 marker2Pos=172 marker1Enabled=1 marker2Enabled=1
for size in large fit; do
  printf '[Display]\nSize=%s\nFitWidth=1900\nFitHeight=1000\n' "$size" >"$home/.config/Varmolen/Varmolen.ini"
  HOME=$home XDG_CONFIG_HOME=$home/.config VARMOLEN_SHOT_SCREEN=1920x1200x24 \
    "$root/scripts/screenshot.sh" "$bin" "$root/docs/help/varmolen-$size.png" "$wait_s"
  echo "docs/help/varmolen-$size.png"
done
