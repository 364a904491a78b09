#!/bin/bash
# The signal generator's cost, its sine and its band-limited square side by
# side (bench/generator_cost.cpp: the synthesis alone and playing into the
# tests' sound server), five runs, the median of each figure; then how long
# a 31-step response sweep at 44100 Hz through a low-pass takes (the rig
# test's sweep, three runs), and how long a 5 s log sweep takes from Start
# to its result (the log sweep rig test's, three runs). Run from the
# repository after building into build/:
#   bench/generator_cost.sh [seconds]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=bench/rig_lib.sh
. "$root/bench/rig_lib.sh"
seconds=${1:-10}
rig_start loopback
for i in 1 2 3 4 5; do
    "$root/build/bench/generator_cost" "$seconds"
done | tee "$work/runs.txt"
# The median of each name=value of the runs' last lines.
grep '^run:' "$work/runs.txt" | tr ' ' '\n' | grep '=' | sort -t= -k1,1 -k2,2g |
    awk -F= '{ v[$1] = v[$1] " " $2; n[$1]++ }
             END { for (k in v) { split(substr(v[k], 2), a, " "); printf "median %s: %s\n", k, a[int((n[k] + 1) / 2)] } }' |
    sort
rig_stop
trap - EXIT
for i in 1 2 3; do
    "$root/build/tests/audio/audio_generator_rig_test" --gtest_filter='*Sweep*' | grep '31-step'
done
# How long a 5 s log sweep from 20 Hz to 20 kHz at 48000 Hz takes from Start
# to its result through the rig's filter (three sweeps).
for i in 1 2 3; do
    "$root/build/tests/audio/audio_log_sweep_rig_test" --gtest_filter='*HighPass*' | grep 'log sweep: result'
done
