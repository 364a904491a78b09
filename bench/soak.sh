#!/usr/bin/env bash
# soak.sh [seconds] [field=value ...]: runs the instrument for a long time
# (an hour by default) on the built-in signal generator under a private X
# server, both channels drawn at 44100 Hz stereo, and watches its resident
# memory. After a warm-up minute the resident memory may grow by less than
# 1 MiB up to the end. Prints one line per sample and a verdict; exit status
# 0 when the growth is within the limit and the program ended cleanly.
#
# Further settings fields (scripts/make-settings.py) change the scene, e.g.
# displayType=1 for the spectrum. The run uses a private runtime folder, so no
# desktop sound server is reached: on a machine without sound cards device 0
# is the generator; where cards exist, name the generator's number with
# waveDeviceId=N (it is the last device in Options > Sound Card > Select).
#
# Environment: VARMOLEN_BIN (default build/app/varmolen), SOAK_WARMUP
# (seconds, default 60), SOAK_INTERVAL (seconds between samples, default 60),
# SOAK_LIMIT_KIB (allowed growth, default 1024).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-3600}
shift || true
bin=${VARMOLEN_BIN:-$root/build/app/varmolen}
warmup=${SOAK_WARMUP:-60}
interval=${SOAK_INTERVAL:-60}
limit=${SOAK_LIMIT_KIB:-1024}
[ -x "$bin" ] || { echo "no program at $bin (set VARMOLEN_BIN)" >&2; exit 2; }
[ "$seconds" -gt "$warmup" ] || { echo "the run must last longer than the ${warmup} s warm-up" >&2; exit 2; }

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/.config/Varmolen" "$home/xdg"
chmod 700 "$home/xdg"
python3 "$root/scripts/make-settings.py" "$home/.config/Varmolen/Varmolen.cfg" \
    sampleRate=44100 inputSelect=1 chan1Enabled=1 chan2Enabled=1 waveDeviceId=0 "$@"

inner=$(mktemp -p "$home")
cat > "$inner" <<'INNER'
#!/usr/bin/env bash
set -u
bin=$1; seconds=$2; warmup=$3; interval=$4; limit=$5
"$bin" & pid=$!
rss() { awk '/VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null; }
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
start=$(date +%s)
base=
peak=0
next=0
printf "%8s  %12s  %12s  %10s\n" "time/s" "resident/KiB" "growth/KiB" "cpu/%"
t_prev=0; w_prev=$start
while :; do
    now=$(($(date +%s) - start))
    kill -0 "$pid" 2>/dev/null || { echo "the program ended by itself after $now s"; exit 3; }
    if [ "$now" -ge "$next" ] || [ "$now" -ge "$seconds" ]; then
        r=$(rss); t=$(ticks); w=$(date +%s)
        if [ -z "$base" ] && [ "$now" -ge "$warmup" ]; then base=$r; fi
        growth=-
        if [ -n "$base" ]; then
            growth=$((r - base))
            [ "$growth" -gt "$peak" ] && peak=$growth
        fi
        cpu=$(awk -v t=$((t - t_prev)) -v hz="$hz" -v w=$((w - w_prev)) 'BEGIN { if (w > 0) printf "%.2f", 100 * t / hz / w; else print "-" }')
        printf "%8d  %12d  %12s  %10s\n" "$now" "$r" "$growth" "$cpu"
        t_prev=$t; w_prev=$w
        # The first sample after the warm-up sets the base, then one per interval.
        if [ "$next" -lt "$warmup" ] && [ $((next + interval)) -gt "$warmup" ]; then next=$warmup; else next=$((next + interval)); fi
    fi
    [ "$now" -ge "$seconds" ] && break
    sleep 1
done
end=$(rss)
# A device message box would hold the program still and flatter its memory.
if command -v xdotool >/dev/null && [ -n "$(xdotool search --name "Wave Device Message" 2>/dev/null)" ]; then
    echo "a \"Wave Device Message\" box is open: the program was not recording"
    kill -KILL "$pid"; echo "FAIL"; exit 1
fi
total=$(awk -v t="$(ticks)" -v hz="$hz" -v w=$(($(date +%s) - start)) 'BEGIN { printf "%.1f s cpu over %d s = %.2f %% of one core", t / hz, w, 100 * t / hz / w }')
kill -TERM "$pid"; wait "$pid"; rc=$?
growth=$((end - base))
echo "resident after ${warmup} s: $base KiB; at the end: $end KiB; growth $growth KiB (largest $peak KiB); limit $limit KiB"
echo "$total; exit code $rc"
if [ "$peak" -lt "$limit" ] && [ "$rc" -eq 0 ]; then echo "PASS"; exit 0; fi
echo "FAIL"; exit 1
INNER
chmod +x "$inner"
HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home/xdg \
    "$root/scripts/on-xvfb.sh" "$inner" "$bin" "$seconds" "$warmup" "$interval" "$limit"
