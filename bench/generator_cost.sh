#!/bin/bash
# The signal generator's cost while it plays into the tests' sound server
# (bench/generator_cost.cpp, five runs, the median), and how long a 31-step
# response sweep at 44100 Hz through a low-pass takes (the rig test's sweep,
# three runs). Run from the repository after building into build/:
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
sort -t: -k2 -n "$work/runs.txt" | sed -n 3p | sed 's/^/median run: /'
rig_stop
trap - EXIT
for i in 1 2 3; do
    "$root/build/tests/audio/audio_generator_rig_test" --gtest_filter='*Sweep*' | grep '31-step'
done
