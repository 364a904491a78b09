#!/usr/bin/env bash
# remote_pyvisa.sh BUILD_DIR SOURCE_DIR [generator]: the installed program,
# recording from the private sound server's known tones on a private X server
# with remote control switched on by --remote=PORT, driven by PyVISA
# (remote_pyvisa.py). With `generator` the sound server is a loopback instead
# (ALSA's default output plays into the input) and the script plays the
# program's signal generator into it and sweeps through it. Needs the
# sound-server rig's tools, Xvfb and Debian's python3-pyvisa and
# python3-pyvisa-py.
set -euo pipefail
build=$1
src=$2
mode=${3:-tones}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_common.sh"
need_tools Xvfb xauth xdotool pulseaudio pactl pacat sox
python=/usr/bin/python3
if ! "$python" -c 'import pyvisa, pyvisa_py' 2>/dev/null; then
    echo "FAIL: $python cannot import pyvisa (Debian packages python3-pyvisa, python3-pyvisa-py)" >&2
    exit 1
fi
make_workspace "$build"
rig=$work/rig
if [ "$mode" = generator ]; then
    "$here/../audio/pulse_rig.sh" start "$rig" loopback
else
    # The rig's tones: a 250 Hz square on channel 2, a 1 kHz sine on channel 1.
    "$here/tone_server.sh" start "$rig"
fi
trap '"$here/tone_server.sh" stop "$rig"; rm -rf "$work"' EXIT
port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

cat >"$work/inner.sh" <<'INNER'
set -u
. "$1/window_lib.sh"
"$2" --remote="$3" >"$work/program.log" 2>&1 &
pid=$!
for _ in $(seq 1 100); do
    "$4" -c "import socket; socket.create_connection(('127.0.0.1', $3), 0.2)" 2>/dev/null && break
    sleep 0.1
done
"$4" "$1/remote_pyvisa.py" "$3" "$5"
rc=$?
stop_program
exit $rc
INNER
HOME=$rig/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$rig/xdg \
    "$here/../../scripts/on-xvfb.sh" bash "$work/inner.sh" "$here" "$bin" "$port" "$python" "$mode"
