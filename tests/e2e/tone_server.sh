#!/bin/sh
# A private PulseAudio server for whole-instrument runs: a null sink whose
# monitor is the default source, played a stereo test signal through pacat
# with 20 ms latency. Left (the frame's first value, channel 2 on the
# instrument) carries a 250 Hz square, right (channel 1) a 1 kHz sine.
#   tone_server.sh start DIR   start server and player; exit 0 when ready
#   tone_server.sh stop DIR    stop player and server by their recorded PIDs
# Clients use XDG_RUNTIME_DIR=DIR/xdg.
set -u
cmd=${1:-}
d=${2:-}
[ -n "$d" ] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }

case "$cmd" in
start)
    for tool in pulseaudio pactl pacat sox; do
        command -v "$tool" >/dev/null 2>&1 || { echo "missing $tool" >&2; exit 1; }
    done
    mkdir -p "$d/xdg" "$d/home" && chmod 700 "$d/xdg"
    export XDG_RUNTIME_DIR="$d/xdg" HOME="$d/home"
    cat >"$d/tones.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1
load-module module-null-sink sink_name=tones rate=44100 channels=2
set-default-sink tones
set-default-source tones.monitor
PA
    pulseaudio -n -F "$d/tones.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
        --log-target=file:"$d/pulse.log" </dev/null >/dev/null 2>&1 &
    echo $! >"$d/server.pid"
    i=0
    until pactl info >/dev/null 2>&1; do
        i=$((i + 1))
        [ $i -gt 100 ] && { echo "server did not answer" >&2; exit 1; }
        sleep 0.05
    done
    sox -q -n -t raw -r 44100 -c 2 -b 16 -e signed-integer - synth square 250 sine 1000 vol 0.5 2>/dev/null |
        pacat --raw --rate=44100 --channels=2 --format=s16le --device=tones --latency-msec=20 &
    echo $! >"$d/player.pid"
    # A null sink without a low-latency client renders in 2 s blocks; wait
    # until the player's latency is in force.
    i=0
    while :; do
        lat=$(pactl list sinks 2>/dev/null | sed -n 's/^[[:space:]]*Latency: \([0-9]*\) usec.*/\1/p' | head -n1)
        [ -n "$lat" ] && [ "$lat" -lt 100000 ] && break
        i=$((i + 1))
        [ $i -gt 100 ] && { echo "sink latency stayed high" >&2; exit 1; }
        sleep 0.05
    done
    exit 0
    ;;
stop)
    for f in player server; do
        if [ -f "$d/$f.pid" ]; then
            kill "$(cat "$d/$f.pid")" 2>/dev/null
            rm -f "$d/$f.pid"
        fi
    done
    exit 0
    ;;
*)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
