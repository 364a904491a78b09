#!/bin/sh
# A private PipeWire server, with WirePlumber and its PulseAudio layer, whose
# null sink plays a known signal at a chosen rate, for the recording tests on
# PipeWire. Its monitor is the default source. ALSA's default device reaches
# it one of two ways:
#   pulse  through ALSA's pulse plugin and pipewire-pulse (what a desktop
#          with PipeWire gives a program that speaks PulseAudio);
#   alsa   through ALSA's own PipeWire plugin (the native path). The Debian
#          package of that plugin, pipewire-alsa, conflicts with pulseaudio,
#          so its plugin and configuration are taken out of the package file
#          (apt-get download, dpkg -x) into a folder of their own, once, and
#          the private home's .asoundrc points ALSA at them.
#   pipewire_rig.sh start DIR pulse|alsa RATE [SYNTH...]
#   pipewire_rig.sh stop DIR
# SYNTH as for pulse_rig.sh (default a 1 kHz sine in both channels).
# VARMOLEN_PIPEWIRE_ALSA_DIR: where the plugin is kept (default DIR/pipewire-alsa).
# The caller exports XDG_RUNTIME_DIR=DIR/xdg and HOME=DIR/home for itself.
set -u
cmd=${1:-}
d=${2:-}
[ -n "$d" ] || { echo "usage: $0 start DIR pulse|alsa RATE [SYNTH...] | stop DIR" >&2; exit 2; }

stop_all() {
    for f in player pulse wireplumber pipewire dbus; do
        if [ -f "$d/$f.pid" ]; then
            kill "$(cat "$d/$f.pid")" 2>/dev/null
            rm -f "$d/$f.pid"
        fi
    done
}

case "$cmd" in
start)
    path=${3:-}
    rate=${4:-}
    case "$path" in pulse | alsa) ;; *) echo "path must be pulse or alsa" >&2; exit 2 ;; esac
    case "$rate" in '' | *[!0-9]*) echo "rate must be a number of hertz" >&2; exit 2 ;; esac
    shift 4
    [ $# -gt 0 ] || set -- sine 1000
    for tool in pipewire wireplumber pipewire-pulse dbus-daemon pactl pacat sox; do
        command -v "$tool" >/dev/null 2>&1 || { echo "missing $tool" >&2; exit 1; }
    done
    mkdir -p "$d/xdg" "$d/home/.config/pipewire/pipewire.conf.d" && chmod 700 "$d/xdg"
    export XDG_RUNTIME_DIR="$d/xdg" HOME="$d/home" XDG_CONFIG_HOME="$d/home/.config"
    unset PULSE_SERVER PIPEWIRE_REMOTE DISPLAY WAYLAND_DISPLAY

    # The graph runs at the rate asked for and at no other, so nothing on
    # the way from the player to the instrument converts the rate.
    cat >"$d/home/.config/pipewire/pipewire.conf.d/rig.conf" <<CONF
context.properties = {
    default.clock.rate = $rate
    default.clock.allowed-rates = [ $rate ]
}
CONF

    # WirePlumber's D-Bus plugins (device reservation, logind, the portal's
    # permission store) need a session bus: without one it stops at once
    # (exit status 70, after "Cannot autolaunch D-Bus without X11 $DISPLAY").
    # A private bus serves it; nothing else uses it.
    dbus-daemon --session --fork --nopidfile --address="unix:path=$d/xdg/bus" --print-pid >"$d/dbus.pid" || {
        echo "no session bus" >&2
        exit 1
    }
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$d/xdg/bus"

    pipewire >"$d/pipewire.log" 2>&1 </dev/null &
    echo $! >"$d/pipewire.pid"
    i=0
    until [ -S "$d/xdg/pipewire-0" ]; do
        i=$((i + 1))
        [ $i -gt 100 ] && { echo "pipewire did not start" >&2; stop_all; exit 1; }
        sleep 0.05
    done
    wireplumber >"$d/wireplumber.log" 2>&1 </dev/null &
    echo $! >"$d/wireplumber.pid"
    pipewire-pulse >"$d/pulse.log" 2>&1 </dev/null &
    echo $! >"$d/pulse.pid"
    i=0
    until pactl info >/dev/null 2>&1; do
        i=$((i + 1))
        [ $i -gt 100 ] && { echo "pipewire-pulse did not answer" >&2; stop_all; exit 1; }
        sleep 0.05
    done
    pactl load-module module-null-sink sink_name=rig rate="$rate" channels=2 >/dev/null || {
        echo "no null sink" >&2
        stop_all
        exit 1
    }
    # WirePlumber keeps the default nodes; it takes them once it runs.
    i=0
    until pactl set-default-sink rig 2>/dev/null && pactl set-default-source rig.monitor 2>/dev/null &&
        [ "$(pactl get-default-source 2>/dev/null)" = rig.monitor ]; do
        i=$((i + 1))
        [ $i -gt 100 ] && { echo "wireplumber did not take the default source" >&2; stop_all; exit 1; }
        sleep 0.05
    done

    if [ "$path" = alsa ]; then
        plugin=${VARMOLEN_PIPEWIRE_ALSA_DIR:-$d/pipewire-alsa}
        lib=$(find "$plugin/x" -name libasound_module_pcm_pipewire.so 2>/dev/null | head -n1)
        if [ -z "$lib" ]; then
            mkdir -p "$plugin" && rm -rf "$plugin/x" "$plugin"/*.deb
            (cd "$plugin" && apt-get download pipewire-alsa >"$plugin/download.log" 2>&1) || {
                echo "apt-get download pipewire-alsa failed (see $plugin/download.log)" >&2
                stop_all
                exit 1
            }
            dpkg -x "$plugin"/pipewire-alsa_*.deb "$plugin/x" || { stop_all; exit 1; }
            lib=$(find "$plugin/x" -name libasound_module_pcm_pipewire.so | head -n1)
        fi
        conf=$(find "$plugin/x/usr/share" -type f -name 50-pipewire.conf | head -n1)
        [ -n "$lib" ] && [ -n "$conf" ] || { echo "no PipeWire plugin in the package" >&2; stop_all; exit 1; }
        ctl=$(dirname "$lib")/libasound_module_ctl_pipewire.so
        # Read after the system's configuration: the default device becomes
        # the PipeWire plugin's, which follows the default source.
        cat >"$d/home/.asoundrc" <<ASOUND
<$conf>
pcm_type.pipewire { lib "$lib" }
ctl_type.pipewire { lib "$ctl" }
pcm.!default {
    type pipewire
    playback_node "-1"
    capture_node "-1"
    hint { show on description "PipeWire (private rig)" }
}
ctl.!default { type pipewire }
ASOUND
    else
        rm -f "$d/home/.asoundrc"
    fi

    # The player keeps a fifth of a second queued: on a busy machine a shorter
    # queue runs dry now and then, and the sink then plays silence into the
    # very recording that is checked for breaks.
    sox -q -r "$rate" -n -t raw -r "$rate" -c 2 -b 16 -e signed-integer - synth "$@" vol 0.5 2>/dev/null |
        pacat --raw --rate="$rate" --channels=2 --format=s16le --device=rig --latency-msec=200 &
    echo $! >"$d/player.pid"
    # The player runs once the sink does.
    i=0
    until pactl list short sinks 2>/dev/null | grep -q "rig.*RUNNING"; do
        i=$((i + 1))
        [ $i -gt 100 ] && { echo "the player did not start" >&2; stop_all; exit 1; }
        sleep 0.05
    done
    exit 0
    ;;
stop)
    stop_all
    exit 0
    ;;
*)
    echo "usage: $0 start DIR pulse|alsa RATE [SYNTH...] | stop DIR" >&2
    exit 2
    ;;
esac
