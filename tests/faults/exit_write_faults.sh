#!/usr/bin/env bash
# exit_write_faults.sh BINARY: the settings file at exit when it can be
# written, when the install directory is read-only and when the disk is full.
# The prepared file holds markers the instrument mends (columns 600 and 700),
# so a file written at exit differs from it: where writing works the file
# must hold the mended record; where it fails the old file must stay whole,
# byte for byte, no temporary file may be left, and the program must still
# end promptly on SIGTERM.
# Runs itself under a private X server; needs Xvfb and python3. The
# read-only and full cases need mount rights (root) or fall back to
# setpriv/prlimit (VARMOLEN_FAULTS_NO_MOUNT=1 forces those).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bin=${1:?usage: $0 BINARY}

if [ -z "${VARMOLEN_FAULTS_INNER:-}" ]; then
    command -v Xvfb >/dev/null || { echo "SKIP: Xvfb missing"; exit 77; }
    VARMOLEN_FAULTS_INNER=1 exec "$root/scripts/on-xvfb.sh" "$0" "$@"
fi

work=$(mktemp -d /tmp/varmolen-exitfaults-XXXXXX)
mounts=()
cleanup() {
    for m in "${mounts[@]}"; do umount "$m" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

settings() { python3 "$root/scripts/make-settings.py" "$@"; }
# Device 0 on a machine without sound input is the built-in generator; a
# private runtime folder keeps any desktop sound server out of the run.
settings "$work/prepared.cfg" sampleRate=44100 inputSelect=1 chan1Enabled=1 marker1Pos=600 marker2Pos=700

# run_instrument HOME [wrapper...]: starts the program, lets it record 2 s,
# sends SIGTERM and waits at most 10 s for the end. Prints the exit code.
run_instrument() {
    local home=$1; shift
    mkdir -p "$home/xdg" && chmod 777 "$home/xdg"
    HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home/xdg "$@" "$bin" >"$home/out.log" 2>&1 &
    local pid=$!
    sleep 2
    if command -v xdotool >/dev/null && xdotool search --name "Wave Device Message" >/dev/null 2>&1; then
        echo "a device message box is open; see $home/out.log" >&2
    fi
    kill -TERM "$pid"
    local i=0
    while kill -0 "$pid" 2>/dev/null; do
        i=$((i + 1))
        if [ $i -gt 100 ]; then
            kill -KILL "$pid"
            wait "$pid" 2>/dev/null
            echo hung
            return
        fi
        sleep 0.1
    done
    wait "$pid"
    echo $?
}

# check_case NAME DIR RC EXPECTED: the file in DIR equals EXPECTED and
# nothing else was left there.
check_case() {
    local name=$1 dir=$2 rc=$3 expected=$4
    [ "$rc" = 0 ] || fail "$name: the program ended with '$rc' after SIGTERM"
    if cmp -s "$dir/Varmolen.cfg" "$expected"; then
        echo "ok: $name: Varmolen.cfg holds $(basename "$expected" .cfg) record ($(stat -c %s "$dir/Varmolen.cfg") bytes)"
    else
        fail "$name: Varmolen.cfg is not the $(basename "$expected" .cfg) record"
        od -An -tu1 "$dir/Varmolen.cfg" | head -3
    fi
    local others
    others=$(find "$dir" -mindepth 1 ! -name Varmolen.cfg ! -name filler ! -name lost+found | wc -l)
    [ "$others" = 0 ] || fail "$name: left behind: $(ls -A "$dir")"
}

# 1. Writable: a new record replaces the prepared one, with the markers
# mended to their start-up columns 142 and 396.
home=$work/writable
dir=$home/.config/Varmolen
mkdir -p "$dir"
cp "$work/prepared.cfg" "$dir/Varmolen.cfg"
rc=$(run_instrument "$home")
[ "$rc" = 0 ] || fail "writable install directory: the program ended with '$rc' after SIGTERM"
if python3 - "$dir/Varmolen.cfg" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
ok = len(data) == 118 and struct.unpack_from("<ii", data, 99) == (142, 396) and \
     struct.unpack_from("<I", data, 67)[0] == 44100 and data[0] == 1
sys.exit(0 if ok else 1)
PY
then
    echo "ok: writable install directory: Varmolen.cfg rewritten at exit, markers mended to 142 and 396"
else
    fail "writable install directory: Varmolen.cfg was not rewritten with the mended markers"
fi

# 2. Read-only install directory: the old file stays.
home=$work/readonly
dir=$home/.config/Varmolen
mkdir -p "$dir"
cp "$work/prepared.cfg" "$dir/Varmolen.cfg"
if [ -z "${VARMOLEN_FAULTS_NO_MOUNT:-}" ] && mount --bind "$dir" "$dir" 2>/dev/null && mounts+=("$dir") && mount -o remount,bind,ro "$dir" 2>/dev/null; then
    how="read-only bind mount"
    rc=$(run_instrument "$home")
elif [ "$(id -u)" != 0 ]; then
    how="directory without write permission"
    chmod 555 "$dir"
    rc=$(run_instrument "$home")
    chmod 755 "$dir"
else
    how="directory without write permission, program run as nobody"
    # nobody needs its own readable copy of the X server's cookie.
    cp "${XAUTHORITY:-/dev/null}" "$home/Xauthority" 2>/dev/null
    chmod 755 "$work" && chmod -R a+rwX "$home" && chmod 555 "$dir"
    rc=$(run_instrument "$home" env XAUTHORITY="$home/Xauthority" setpriv --reuid=nobody --regid=nogroup --clear-groups)
    chmod 755 "$dir"
fi
check_case "read-only install directory ($how)" "$dir" "$rc" "$work/prepared.cfg"

# 3. Full disk: the install directory on a tiny file system filled to the
# last block, or failing that a file size limit of 64 bytes.
home=$work/full
dir=$home/.config/Varmolen
mkdir -p "$dir"
if [ -z "${VARMOLEN_FAULTS_NO_MOUNT:-}" ] && mount -t tmpfs -o size=64k tmpfs "$dir" 2>/dev/null; then
    mounts=("$dir" "${mounts[@]}")
    cp "$work/prepared.cfg" "$dir/Varmolen.cfg"
    dd if=/dev/zero of="$dir/filler" bs=1k 2>/dev/null
    how="64 KiB tmpfs, $(df -k --output=avail "$dir" | tail -1 | tr -d ' ') KiB free"
    rc=$(run_instrument "$home")
else
    cp "$work/prepared.cfg" "$dir/Varmolen.cfg"
    how="file size limit of 64 bytes"
    # An ignored SIGXFSZ is inherited, so the write fails instead of killing.
    rc=$(trap '' XFSZ; run_instrument "$home" prlimit --fsize=64)
fi
check_case "full disk ($how)" "$dir" "$rc" "$work/prepared.cfg"

[ $failures = 0 ] && echo "all exit-write cases passed" || echo "$failures failure(s)"
[ $failures = 0 ]
