#!/usr/bin/env bash
# generator_compare.sh [seconds] [rounds]: what the whole program costs when it
# records from its built-in signal generator (no sound server reachable)
# beside what it costs recording a real sound server, side by side on one
# private X server.
#
# The server is the tests' PulseAudio rig (a null sink playing a 1 kHz sine
# and a 250 Hz square; its monitor is ALSA's default input). Two instances
# run at once, both at 44100 Hz stereo on device 0: one reaches the rig
# through ALSA's default device, the other is started with no sound server
# it could reach (PULSE_SERVER names no socket), so its device list holds
# only the generator. Each round measures `seconds` (default 20) of each of
# two scenes: nothing drawn (acquisition alone) and both channels drawn in
# the TIME display. Prints per round the CPU share of one core (user +
# system time over the interval) of each instance and of its capture
# thread, and at the end the medians over `rounds` (default 3) and the ratio
# generator / server. Not part of the test suite: a round takes about a
# minute.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
rounds=${2:-3}
bin=$(realpath "${VARMOLEN_BIN:-$root/build/app/varmolen}")

source "$root/bench/rig_lib.sh"
rig_start sine 1000 square 250
for who in server generator; do
    rig_settings "$who-idle" displayType=2 chan1Enabled=0 chan2Enabled=0
    rig_settings "$who-drawn" displayType=2 chan1Enabled=1 chan2Enabled=1
done
mkdir -p "$work/nowhere"

inner=$work/inner.sh
cat >"$inner" <<'INNER'
#!/usr/bin/env bash
set -u
bin=$1; work=$2; seconds=$3; rounds=$4
hz=$(getconf CLK_TCK)
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# The capture thread: the newest thread that has the program's name (the
# first is the user-interface thread).
capture() {
    local t last="" name
    name=$(cat "/proc/$1/comm")
    for t in /proc/"$1"/task/*; do
        [ "${t##*/}" != "$1" ] && [ "$(cat "$t/comm")" = "$name" ] && last=${t##*/}
    done
    echo "$last"
}
tticks() { awk '{print $14 + $15}' "/proc/$1/task/$2/stat" 2>/dev/null || echo 0; }
for round in $(seq 1 "$rounds"); do
    for scene in idle drawn; do
        home=$work/home-server-$scene
        HOME=$home XDG_CONFIG_HOME=$home/.config "$bin" >"$home.log" 2>&1 &
        ps=$!
        home=$work/home-generator-$scene
        HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$work/nowhere \
            PULSE_SERVER=unix:$work/nowhere/none "$bin" >"$home.log" 2>&1 &
        pg=$!
        sleep 4
        clients=$(pactl list short source-outputs 2>/dev/null | wc -l)
        cs=$(capture "$ps"); cg=$(capture "$pg")
        s0=$(ticks "$ps"); g0=$(ticks "$pg"); cs0=$(tticks "$ps" "$cs"); cg0=$(tticks "$pg" "$cg")
        w0=$(date +%s%N)
        sleep "$seconds"
        s1=$(ticks "$ps"); g1=$(ticks "$pg"); cs1=$(tticks "$ps" "$cs"); cg1=$(tticks "$pg" "$cg")
        w1=$(date +%s%N)
        kill -TERM "$ps" "$pg"
        wait "$ps" "$pg" 2>/dev/null
        echo "load $round $scene $clients $hz $((w1 - w0)) $((s1 - s0)) $((g1 - g0)) $((cs1 - cs0)) $((cg1 - cg0))"
    done
done
INNER
chmod +x "$inner"

echo "Varmolen: $bin"
echo "measuring $rounds rounds of ${seconds} s per scene, server and generator at once under one Xvfb ..."
"$root/scripts/on-xvfb.sh" "$inner" "$bin" "$work" "$seconds" "$rounds" >"$work/out" 2>"$work/err" || true
grep -v '^load ' "$work/out" || true
awk '
    function median(a, key, k,    v, i, j, t) {
        for (i = 1; i <= k; i++) v[i] = a[key, i]
        for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
        return k % 2 ? v[(k + 1) / 2] : (v[k / 2] + v[k / 2 + 1]) / 2
    }
    $1 != "load" { next }
    {
        w = $6 / 1e9; hz = $5
        s = 100 * $7 / hz / w; g = 100 * $8 / hz / w; cs = 100 * $9 / hz / w; cg = 100 * $10 / hz / w
        printf "round %s %-5s  server %5.2f %% (capture %4.2f %%)   generator %5.2f %% (capture %4.2f %%)   server clients %s (expected 1)\n", $2, $3, s, cs, g, cg, $4
        n[$3]++; S[$3, n[$3]] = s; G[$3, n[$3]] = g
    }
    END {
        for (sc in n) {
            ms = median(S, sc, n[sc]); mg = median(G, sc, n[sc])
            printf "median %-5s server %5.2f %%   generator %5.2f %%   generator / server %.2f\n", sc, ms, mg, (ms > 0 ? mg / ms : 0)
        }
    }
' "$work/out"
if [ -s "$work/err" ]; then
    echo "--- errors:"
    cat "$work/err"
fi
