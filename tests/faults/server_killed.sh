#!/usr/bin/env bash
# server_killed.sh BINARY: the real program recording from a private
# PulseAudio server that is killed while it runs. The device vanishes: a
# "Wave Device Message" box appears, confirming it ends the program, and the
# settings are written at exit (the prepared file's markers, columns 600 and
# 700, come back mended). Then the server is started again and so is the
# program: it records again (the server lists it as a recording client) and
# shows no message.
# Needs Xvfb, xdotool, pulseaudio, pactl, pacat and sox; exits 77 (skip)
# when one is missing or the server cannot start.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bin=${1:?usage: $0 BINARY}
rig=$root/tests/audio/pulse_rig.sh

if [ -z "${VARMOLEN_FAULTS_INNER:-}" ]; then
    for tool in Xvfb xdotool pulseaudio pactl pacat sox; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
    done
    VARMOLEN_FAULTS_INNER=1 exec "$root/scripts/on-xvfb.sh" "$0" "$@"
fi

work=$(mktemp -d /tmp/varmolen-serverkill-XXXXXX)
pid=
cleanup() {
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
    sh "$rig" stop "$work"
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

sh "$rig" start "$work" 2>"$work/rig.err" || { echo "SKIP: no private PulseAudio server: $(cat "$work/rig.err")"; exit 77; }
export XDG_RUNTIME_DIR=$work/xdg HOME=$work/home XDG_CONFIG_HOME=$work/home/.config
dir=$XDG_CONFIG_HOME/Varmolen
cfg=$dir/Varmolen.cfg
mkdir -p "$dir"
python3 "$root/scripts/make-settings.py" "$cfg" sampleRate=44100 inputSelect=1 chan1Enabled=1 \
    waveDeviceId=0 marker1Pos=600 marker2Pos=700
cp "$cfg" "$work/prepared.cfg"

# Whether the server has a client recording from it.
recording() { [ -n "$(pactl list short source-outputs 2>/dev/null)" ]; }
boxes() { xdotool search --name "^Wave Device Message$" 2>/dev/null; }

# --- Run 1: the server dies under the recording program.
"$bin" >"$work/run1.log" 2>&1 &
pid=$!
i=0
until recording; do
    i=$((i + 1)); [ $i -gt 100 ] && break; sleep 0.05
done
sleep 1
recording && echo "ok: run 1 records from the server" || fail "run 1 never recorded from the server"
[ -z "$(boxes)" ] || fail "run 1 showed a device message before the server died"

kill -KILL "$(cat "$work/server.pid")"
shown=0
start=$(date +%s)
while kill -0 "$pid" 2>/dev/null; do
    if [ $(($(date +%s) - start)) -gt 20 ]; then
        fail "the program did not end within 20 s of the server's death ($shown box(es) confirmed)"
        kill -KILL "$pid"
        break
    fi
    for w in $(boxes); do
        shown=$((shown + 1))
        # Confirm the box as a user would: focus it and press Return.
        xdotool windowfocus --sync "$w" 2>/dev/null
        xdotool key --clearmodifiers Return 2>/dev/null
    done
    sleep 0.2
done
wait "$pid"; rc=$?; pid=
echo "run 1 ended with exit code $rc after $shown confirmed \"Wave Device Message\" box(es) in $(($(date +%s) - start)) s"
[ "$shown" -ge 1 ] || fail "no \"Wave Device Message\" box was shown"
[ "$rc" = 0 ] || fail "run 1 exit code $rc"
if python3 - "$cfg" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
sys.exit(0 if len(data) == 118 and struct.unpack_from("<ii", data, 99) == (142, 396) else 1)
PY
then
    echo "ok: settings saved at exit (markers mended to 142 and 396)"
else
    fail "the settings were not saved at exit"
fi

# --- Run 2: the server back, the program started again.
sh "$rig" stop "$work"
sh "$rig" start "$work" 2>"$work/rig.err" || { fail "the server did not start again: $(cat "$work/rig.err")"; exit 1; }
"$bin" >"$work/run2.log" 2>&1 &
pid=$!
i=0
until recording; do
    i=$((i + 1)); [ $i -gt 100 ] && break; sleep 0.05
done
sleep 2
recording && echo "ok: run 2 records from the restarted server" || fail "run 2 does not record"
[ -z "$(boxes)" ] || fail "run 2 shows a device message"
kill -TERM "$pid"
i=0
while kill -0 "$pid" 2>/dev/null; do
    i=$((i + 1)); [ $i -gt 100 ] && { fail "run 2 did not end on SIGTERM"; kill -KILL "$pid"; break; }
    sleep 0.1
done
wait "$pid"; rc=$?; pid=
[ "$rc" = 0 ] || fail "run 2 exit code $rc"

[ $failures = 0 ] && echo "server faults survived" || echo "$failures failure(s)"
[ $failures = 0 ]
