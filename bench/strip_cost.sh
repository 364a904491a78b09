#!/usr/bin/env bash
# strip_cost.sh [seconds] [pairs] [display]: what the measurement strip adds
# to the running instrument. Starts `pairs` instances with the strip hidden
# and as many with it shown (Measure > Show Measurements, set in
# Varmolen.ini), all at once, on one private PulseAudio server playing a
# 1 kHz sine and a 250 Hz square and one private X server, at 44100 Hz stereo
# with both channels drawn in the TIME display (display=1: FREQUENCY). After a
# settling time it takes each one's CPU time over `seconds` (default 60), of
# the whole process and of its user-interface thread alone (where the strip's
# own work is done), and prints each share of a core, the medians and their
# difference. Side by side on the same signal, the rest of a shared machine
# weighs on both alike.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
pairs=${2:-3}
display=${3:-2}
bin=$(realpath "${VARMOLEN_BIN:-$root/build/app/varmolen}")
source "$root/bench/rig_lib.sh"
rig_start sine 1000 square 250
names=""
for i in $(seq 1 "$pairs"); do
    for kind in hidden shown; do
        rig_settings "$kind$i" chan1Enabled=1 chan2Enabled=1 displayType="$display"
        [ "$kind" = shown ] && printf '[Measure]\nShown=true\n' >"$work/home-$kind$i/.config/Varmolen/Varmolen.ini"
        names="$names $kind$i"
    done
done
cat >"$work/inner.sh" <<'INNER'
#!/usr/bin/env bash
set -u
bin=$1; work=$2; seconds=$3; names=$4
declare -A pid t0 t1 p0 p1
for n in $names; do
    HOME=$work/home-$n XDG_CONFIG_HOME=$work/home-$n/.config "$bin" >"$work/$n.log" 2>&1 &
    pid[$n]=$!
done
sleep 5
# The user-interface thread (its thread id is the process id), where the
# strip's work is done, and the whole process, which also pays for what the
# strip's repaints cost the toolkit's other threads.
ticks() { awk '{print $14 + $15}' "/proc/$1/task/$1/stat"; }
process_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
for n in $names; do t0[$n]=$(ticks "${pid[$n]}"); p0[$n]=$(process_ticks "${pid[$n]}"); done
w0=$(date +%s%N)
sleep "$seconds"
for n in $names; do t1[$n]=$(ticks "${pid[$n]}"); p1[$n]=$(process_ticks "${pid[$n]}"); done
w1=$(date +%s%N)
hz=$(getconf CLK_TCK)
for n in $names; do
    kill -TERM "${pid[$n]}"; wait "${pid[$n]}"
    awk -v n="$n" -v t=$((t1[$n] - t0[$n])) -v p=$((p1[$n] - p0[$n])) -v hz="$hz" -v w=$((w1 - w0)) \
        'BEGIN { printf "%s %.3f %.3f\n", n, 100 * (t / hz) / (w / 1e9), 100 * (p / hz) / (w / 1e9) }'
done
INNER
chmod +x "$work/inner.sh"
"$root/scripts/on-xvfb.sh" "$work/inner.sh" "$bin" "$work" "$seconds" "$names" >"$work/out" 2>"$work/err" || true
echo "instance, % of a core: user-interface thread, whole process"
sort "$work/out"
awk '
    {
        k = $1 ~ /^shown/ ? "shown" : "hidden"
        ++n[k]; ui[k, n[k]] = $2; all[k, n[k]] = $3
    }
    function median(v, k,   i, j, t, c, a) {
        c = n[k]
        for (i = 1; i <= c; i++) a[i] = v[k, i]
        for (i = 1; i <= c; i++) for (j = i + 1; j <= c; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
        return c % 2 ? a[(c + 1) / 2] : (a[c / 2] + a[c / 2 + 1]) / 2
    }
    END {
        h = median(ui, "hidden"); s = median(ui, "shown")
        printf "user-interface thread, median %% of a core: hidden %.3f, shown %.3f, the strip adds %+.3f\n", h, s, s - h
        h = median(all, "hidden"); s = median(all, "shown")
        printf "whole process, median %% of a core: hidden %.3f, shown %.3f, the strip adds %+.3f\n", h, s, s - h
    }' "$work/out"
