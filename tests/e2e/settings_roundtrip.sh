#!/usr/bin/env bash
# settings_roundtrip.sh BUILD_DIR SOURCE_DIR: the installed program, started
# in a throw-away home holding a prepared settings file, runs on a private X
# server, is sent SIGTERM, and must write the settings in force back to the
# file at exit: byte for byte the prepared ones. The file is overwritten
# with zeros while the program runs, so an exit that wrote nothing fails.
set -euo pipefail
build=$1
src=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_common.sh"
need_tools Xvfb xauth xdotool python3 cmp cmake
make_workspace "$build"

cat >"$work/inner.sh" <<'INNER'
set -u
. "$1/window_lib.sh"
start_program "$2"
sleep 1.5
# The program read the file at start; what is on disk now must not matter.
head -c 118 /dev/zero >"$3"
stop_program
INNER

# check_scene NAME "PREPARED FIELDS" "CHANGES AT START": prepares a file with
# the fields, runs the program, and compares the file written at exit with
# the prepared fields plus the changes the start itself makes.
check_scene() {
    local name=$1 fields=$2 changes=$3
    # shellcheck disable=SC2086
    python3 "$src/scripts/make-settings.py" "$cfg" $fields
    # shellcheck disable=SC2086
    python3 "$src/scripts/make-settings.py" "$work/expected.cfg" $fields $changes
    run_on_xvfb "$work/inner.sh" "$here" "$bin" "$cfg"
    if ! cmp "$work/expected.cfg" "$cfg"; then
        echo "FAIL ($name): the settings written at exit differ from the expected ones" >&2
        echo "expected:" >&2; od -A d -t x1 "$work/expected.cfg" >&2
        echo "written:" >&2; od -A d -t x1 "$cfg" >&2
        exit 1
    fi
    echo "PASS ($name): the settings written at exit are the expected 118 bytes"
}

# Far from the start-up values in every kind of field: flags, ranges, dial
# positions, offsets, rate, input, display type, colours, markers. At start
# the display type in force (FREQUENCY) puts its Position dials at the whole
# percent nearest below each stored zero line and stores the row that
# percent gives: 172 is 49 % and comes back as row 174; 343 is 0 % and stays.
# The TIME fields are not touched.
check_scene frequency "chan1Enabled=1 chan2Enabled=1 chan1TimeRange=10 chan2TimeRange=100 \
    chan1TimeGainDial=30 chan2TimeGainDial=70 chan1FreqGainDial=40 chan2FreqGainDial=60 \
    triggerThreshold=12 triggerSlope=0 chopMode=0 triggerEnabled=1 \
    sampleRate=22050 timeBaseSetting=50 inputSelect=1 displayType=1 backgroundScheme=2 \
    triggerChannel=2 chan1Color=0x0000FF chan2Color=0xFF0000 marker1Pos=100 marker2Pos=300 \
    marker1Enabled=1 marker2Enabled=1 gridEnabled=0" \
    "chan1FreqOffset=174"

# TIME display with zero lines that are whole percents (85 is 75 %, 257 is
# 25 %): nothing changes at start, the file comes back as it was.
check_scene time "chan1Enabled=1 chan1TimeOffset=85 chan2TimeOffset=257 chan1TimeGainDial=12 \
    chan2FreqRange=10 sampleRate=44100 inputSelect=1 displayType=2 triggerEnabled=1 \
    triggerThreshold=-20 backgroundScheme=3 chan2Color=0x00FFFF marker2Enabled=1 addChannels=1 \
    traceMode=2 displayHold=1" ""
