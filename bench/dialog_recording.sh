#!/usr/bin/env bash
# dialog_recording.sh [runs] [seconds] [dialog-seconds]: a WAV recording of a
# sound server's sine with File > Save Form's dialog open in the middle, run
# `runs` times (default 3); each run records `seconds` (default 20) and keeps
# the dialog open `dialog-seconds` (default 3) from 8.5 s on.
#
# The tests' PulseAudio rig plays a 997 Hz sine (a frequency whose period is
# no whole number of frames, so a lost stretch of any length but whole
# seconds shows as a phase step) into its null sink, whose monitor is ALSA's
# default input, device 0. bench/dialog_recording.cpp runs the window on a
# private X server, records through the window's own recording and fits the
# sine to the file: per run it prints the wall time against the time in the
# file and the largest step of the sine's phase. VARMOLEN_BENCH_DIR chooses
# the build's bench folder (default build/bench). Not part of the test suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
seconds=${2:-20}
dialog=${3:-3}
bin=${VARMOLEN_BENCH_DIR:-$root/build/bench}/dialog_recording
[ -x "$bin" ] || { echo "missing $bin (build the target dialog_recording)" >&2; exit 1; }

source "$root/bench/rig_lib.sh"
rig_start sine 997

# Line input at 44100 Hz from device 0, both channels drawn, in its own
# install folder.
mkdir -p "$work/install" "$work/help"
python3 "$root/scripts/make-settings.py" "$work/install/Varmolen.cfg" \
    sampleRate=44100 inputSelect=1 waveDeviceId=0 chan1Enabled=1 chan2Enabled=1 displayType=2
export VARMOLEN_INSTALL_DIR=$work/install VARMOLEN_HELP_DIR=$work/help HOME=$work/home

for i in $(seq 1 "$runs"); do
    echo "run $i:"
    "$root/scripts/on-xvfb.sh" "$bin" "$work/run$i.wav" 997 "$seconds" 8.5 "$dialog" | sed 's/^/  /'
    rm -f "$work/run$i.wav"
done
