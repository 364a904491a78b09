# Sourced by the bench scripts that run the instrument against the tests'
# private sound server (tests/audio/pulse_rig.sh); `root` names the
# repository.

# rig_start SIGNAL...: a scratch folder `work`, removed at exit with the
# server stopped, and the server started there playing SIGNAL (for example
# `sine 1000 square 250`).
rig_start() {
    work=$(mktemp -d)
    trap rig_stop EXIT
    export XDG_RUNTIME_DIR=$work/xdg
    HOME=$work/pulsehome "$root/tests/audio/pulse_rig.sh" start "$work" "$@" ||
        { echo "the sound server did not start (see $work/pulse.log)" >&2; exit 1; }
}

rig_stop() {
    "$root/tests/audio/pulse_rig.sh" stop "$work"
    rm -rf "$work"
}

# rig_settings NAME field=value...: the home folder $work/home-NAME, whose
# Varmolen.cfg records the server through ALSA's default input (line input,
# 44100 Hz) with the fields given (as in scripts/make-settings.py).
rig_settings() {
    local home=$work/home-$1
    shift
    mkdir -p "$home/.config/Varmolen"
    python3 "$root/scripts/make-settings.py" "$home/.config/Varmolen/Varmolen.cfg" \
        sampleRate=44100 inputSelect=1 waveDeviceId=0 "$@"
}
