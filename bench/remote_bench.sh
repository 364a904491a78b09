#!/usr/bin/env bash
# remote_bench.sh [--off|--live]: remote control's cost on the running
# instrument, recording the sound-server rig's tones at 44100 Hz stereo under
# a private X server: query latency (median, 99th percentile) against one
# block, the load of 1000 queries a second with the display drawing every
# block, and the idle CPU with the listener on (bench/remote_bench.py). With
# --off the program runs without --remote and only the idle CPU is measured,
# for comparison. With --live it measures remote control's bounds instead
# (bench/remote_live.py): how soon a line beyond them is refused, and how
# long another client waits while a long line is worked through. Needs the
# rig's tools (tests/audio/pulse_rig.sh) and Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${VARMOLEN_BIN:-$root/build/app/varmolen}
off=${1:-}
work=$(mktemp -d)
"$root/tests/e2e/tone_server.sh" start "$work/rig"
trap '"$root/tests/e2e/tone_server.sh" stop "$work/rig"; rm -rf "$work"' EXIT
mkdir -p "$work/config/Varmolen"
python3 "$root/scripts/make-settings.py" "$work/config/Varmolen/Varmolen.cfg" sampleRate=44100 inputSelect=1 \
    chan1Enabled=1 chan2Enabled=1
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/inner.sh" <<'INNER'
set -u
root=$1; bin=$2; port=$3; off=$4
if [ "$off" = --off ]; then
    "$bin" & pid=$!
    sleep 3
    hz=$(getconf CLK_TCK)
    # CPU ticks, and the user-interface thread's context switches (its wake-ups).
    wakeups() { awk '/ctxt_switches/ { n += $2 } END { print n }' /proc/$pid/status; }
    t0=$(awk '{print $14 + $15}' /proc/$pid/stat); w0=$(wakeups)
    sleep 10
    t1=$(awk '{print $14 + $15}' /proc/$pid/stat); w1=$(wakeups)
    awk -v t=$((t1 - t0)) -v hz="$hz" -v w=$((w1 - w0)) \
        'BEGIN { printf "idle, remote off: %.2f %% of one core over 10 s, user-interface thread woken %.1f times a second\n", 100 * t / hz / 10, w / 10 }'
else
    "$bin" --remote="$port" & pid=$!
    if [ "$off" = --live ]; then
        for _ in $(seq 50); do
            python3 -c "import socket; socket.create_connection(('127.0.0.1', $port)).close()" 2>/dev/null && break
            sleep 0.1
        done
        sleep 1
        /usr/bin/python3 "$root/bench/remote_live.py" "$port" 5
    else
        /usr/bin/python3 "$root/bench/remote_bench.py" "$port" "$pid"
    fi
fi
kill -TERM "$pid"; wait "$pid"
INNER
HOME=$work/rig/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/rig/xdg \
    "$root/scripts/on-xvfb.sh" bash "$work/inner.sh" "$root" "$bin" "$port" "$off" 2>&1 | grep -v XDG_RUNTIME_DIR
