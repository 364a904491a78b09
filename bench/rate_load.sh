#!/usr/bin/env bash
# rate_load.sh [seconds] [repetitions]: what each rate costs. At 44100, 96000
# and 192000 Hz, stereo from the built-in generator:
#  - build/bench/acquisition_load with `draw`: the run loop, the strip's
#    meters and a display pass of both channels for every block, on a Qt
#    event loop; its blocks (display passes) per second, the share of the
#    device's buffers it drew, and its CPU share of one core;
#  - bench/app_load.sh: the whole program under Xvfb (both channels, the
#    FREQUENCY display, the rate chosen through Varmolen.ini), its CPU share.
# Each figure is the median of the repetitions (3 unless given), all taken in
# one run so that they compare on a shared machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-10}
reps=${2:-3}
load=${VARMOLEN_BUILD_DIR:-$root/build}/bench/acquisition_load
[ -x "$load" ] || { echo "build bench/acquisition_load first" >&2; exit 1; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
printf '%-8s %14s %12s %14s %14s\n' rate "passes/s" "drawn %" "core cpu %" "program cpu %"
for rate in 44100 96000 192000; do
    passes=() drawn=() core=() app=()
    for ((r = 0; r < reps; r++)); do
        out=$("$load" "$seconds" "$rate" draw)
        core+=("$(sed -n 's/.*= \([0-9.]*\) % of one core.*/\1/p' <<<"$out")")
        passes+=("$(sed -n 's/.*blocks \([0-9.]*\) per second.*/\1/p' <<<"$out")")
        drawn+=("$(sed -n 's/.*(\([0-9.]*\) % of the buffers filled).*/\1/p' <<<"$out")")
        out=$(VARMOLEN_SAMPLE_RATE=$rate bash "$root/bench/app_load.sh" "$seconds" chan1Enabled=1 chan2Enabled=1 \
            displayType=1)
        app+=("$(sed -n 's/.* = \([0-9.]*\) % of one core.*/\1/p' <<<"$out")")
    done
    printf '%-8s %14s %12s %14s %14s\n' "$rate" "$(printf '%s\n' "${passes[@]}" | median)" \
        "$(printf '%s\n' "${drawn[@]}" | median)" "$(printf '%s\n' "${core[@]}" | median)" \
        "$(printf '%s\n' "${app[@]}" | median)"
done
