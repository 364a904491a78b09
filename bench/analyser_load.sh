#!/usr/bin/env bash
# analyser_load.sh [seconds]: the spectrum analyser's CPU against the
# FREQUENCY display of one block, side by side in one run: the whole
# instrument (bench/app_load.sh) recording both channels at 48000 Hz from
# the built-in generator, drawing
#   - the block's spectrum (the display as it is without the analyser),
#   - the analyser at 65536 points on both channels (a new transform every
#     tenth of a second, overlap above 90 %), and
#   - the spectrogram at the default length (1024 points, a row a block),
# each scene twice in turn. Prints each run's share of one core, the
# medians and their ratios to the block's spectrum (targets: 2x and 1.5x).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
scenes=("block" "length65536" "spectrogram")
ini_of() {
    case $1 in
        block) printf '' ;;
        length65536) printf '[Spectrum]\nLength=65536\n' ;;
        spectrogram) printf '[Display]\nSpectrogram=true\n' ;;
    esac
}
declare -A runs
for round in 1 2; do
    for scene in "${scenes[@]}"; do
        line=$(VARMOLEN_SAMPLE_RATE=48000 VARMOLEN_INI="$(ini_of "$scene")" \
            bash "$root/bench/app_load.sh" "$seconds" displayType=1 chan1Enabled=1 chan2Enabled=1 | grep '^cpu')
        share=$(sed -E 's/.*= ([0-9.]+) % of one core.*/\1/' <<<"$line")
        echo "round $round $scene: $line"
        runs[$scene]="${runs[$scene]:-} $share"
    done
done
median() { tr ' ' '\n' <<<"$1" | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print (NR % 2 ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2)}'; }
base=$(median "${runs[block]}")
for scene in "${scenes[@]}"; do
    m=$(median "${runs[$scene]}")
    awk -v s="$scene" -v m="$m" -v b="$base" 'BEGIN { printf "%-12s median %.2f %% of one core, %.2fx the block spectrum\n", s, m, m / b }'
done
