#!/bin/sh
# A private PulseAudio server whose null sink plays a known signal, for the
# capture tests, the whole-instrument runs and the measurements. Its monitor
# is the default source, so ALSA's default device reaches it through the
# pulse plugin.
#   pulse_rig.sh start DIR [SYNTH...]   start server and player; exit 0 when ready
#   pulse_rig.sh stop DIR               stop player and server by their recorded PIDs
# SYNTH are sox synth words, one per channel in frame order (default: a 1 kHz
# sine in both), e.g. "square 250 sine 1000": the frame's first value (the
# instrument's channel 2) a 250 Hz square, the second a 1 kHz sine.
# Two words in place of SYNTH leave the player out, for the signal
# generator's tests, which play into the rig themselves:
#   loopback           ALSA's default output plays into the null sink whose
#                      monitor is the default source: a perfect loopback
#   through EFFECT...  the default output is a second null sink, "dut", whose
#                      monitor sox passes through EFFECT (sox effect words,
#                      e.g. "lowpass 1000") into the first: a device under test
# The caller exports XDG_RUNTIME_DIR=DIR/xdg and HOME=DIR/home for itself.
# VARMOLEN_RIG_RATE sets the rate of the sink and the player (44100 unless set),
# VARMOLEN_RIG_FORMAT the sink's sample format (s16le unless set; float32le
# carries a 24-bit or float path through the loopback unchanged),
# VARMOLEN_RIG_LATENCY_MS what each stream of the "through" path holds (20
# unless set; more rides out a loaded machine, where a stream that runs dry
# puts a gap into what the device under test passes on).
set -u
rate=${VARMOLEN_RIG_RATE:-44100}
format=${VARMOLEN_RIG_FORMAT:-s16le}
latency=${VARMOLEN_RIG_LATENCY_MS:-20}
cmd=${1:-}
d=${2:-}
[ -n "$d" ] || { echo "usage: $0 start|stop DIR [SYNTH...]" >&2; exit 2; }
shift 2
[ $# -gt 0 ] || set -- sine 1000

case "$cmd" in
start)
    for tool in pulseaudio pactl pacat sox; do
        command -v "$tool" >/dev/null 2>&1 || { echo "missing $tool" >&2; exit 1; }
    done
    mkdir -p "$d/xdg" "$d/home" && chmod 700 "$d/xdg"
    export XDG_RUNTIME_DIR="$d/xdg" HOME="$d/home"
    cat >"$d/rig.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1
load-module module-null-sink sink_name=rig rate=$rate channels=2 format=$format
set-default-sink rig
set-default-source rig.monitor
PA
    mode=${1:-}
    if [ "$mode" = through ]; then
        printf '%s\n' "load-module module-null-sink sink_name=dut rate=$rate channels=2 format=$format" \
            "set-default-sink dut" >>"$d/rig.pa"
    fi
    pulseaudio -n -F "$d/rig.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
        --log-target=file:"$d/pulse.log" </dev/null >/dev/null 2>&1 &
    echo $! >"$d/server.pid"
    i=0
    until pactl info >/dev/null 2>&1; do
        i=$((i + 1))
        [ $i -gt 100 ] && { echo "server did not answer" >&2; exit 1; }
        sleep 0.05
    done
    raw="-t raw -r $rate -c 2 -b 16 -e signed-integer"
    case "$mode" in
    loopback)
        exit 0
        ;;
    through)
        shift
        # The device under test passes on what it takes in the sinks' format:
        # floats keep a filter's stop band clear of 16-bit rounding.
        through=$raw
        [ "$format" = float32le ] && through="-t raw -r $rate -c 2 -b 32 -e floating-point"
        # shellcheck disable=SC2086
        pacat --record --raw --rate="$rate" --channels=2 --format="$format" --device=dut.monitor --latency-msec="$latency" |
            sox -q --buffer 512 $through - $through - "$@" 2>/dev/null |
            pacat --raw --rate="$rate" --channels=2 --format="$format" --device=rig --latency-msec="$latency" &
        echo $! >"$d/player.pid"
        exit 0
        ;;
    esac
    # shellcheck disable=SC2086
    sox -q -r "$rate" -n $raw - synth "$@" vol 0.5 2>/dev/null |
        pacat --raw --rate="$rate" --channels=2 --format=s16le --device=rig --latency-msec=20 &
    # The pipeline's PID is pacat's; sox ends with the broken pipe.
    echo $! >"$d/player.pid"
    # A null sink without a low-latency client renders in 2 s blocks.
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
