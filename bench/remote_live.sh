#!/usr/bin/env bash
# remote_live.sh [rounds]: remote control's bounds on the running instrument,
# recording the sound-server rig's tones at 44100 Hz stereo with both
# channels drawn under a private X server (bench/remote_live.py): how soon a
# line beyond the bounds is refused, and how long another client waits and
# how many blocks are drawn while a long line is worked through. Needs the
# rig's tools (tests/audio/pulse_rig.sh) and Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${VARMOLEN_BIN:-$root/build/app/varmolen}
rounds=${1:-5}
work=$(mktemp -d)
"$root/tests/e2e/tone_server.sh" start "$work/rig"
trap '"$root/tests/e2e/tone_server.sh" stop "$work/rig"; rm -rf "$work"' EXIT
mkdir -p "$work/config/Varmolen"
python3 "$root/scripts/make-settings.py" "$work/config/Varmolen/Varmolen.cfg" sampleRate=44100 inputSelect=1 \
    chan1Enabled=1 chan2Enabled=1
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/inner.sh" <<'INNER'
set -u
root=$1; bin=$2; port=$3; rounds=$4
"$bin" --remote="$port" & pid=$!
for _ in $(seq 50); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port)).close()" 2>/dev/null && break
    sleep 0.1
done
sleep 1
/usr/bin/python3 "$root/bench/remote_live.py" "$port" "$rounds"
kill -TERM "$pid"; wait "$pid"
INNER
HOME=$work/rig/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/rig/xdg \
    "$root/scripts/on-xvfb.sh" bash "$work/inner.sh" "$root" "$bin" "$port" "$rounds" 2>&1 | grep -v XDG_RUNTIME_DIR
