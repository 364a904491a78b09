#!/usr/bin/env bash
# command_line_exits.sh BINARY VERSION: the built program's command line, with
# no display at all: --help and --version answer on the standard output and
# end with 0, a wrong option or port ends with 2 and says why on the standard
# error, and none of them opens a window or listens. Then the toolkit's own
# options reach the toolkit: with -platform offscreen the program starts
# without a display and answers remote control on the --remote=PORT given.
set -uo pipefail
bin=${1:?usage: $0 BINARY VERSION}
version=${2:?usage: $0 BINARY VERSION}
work=$(mktemp -d /tmp/varmolen-cli-XXXXXX)
pid=
cleanup() {
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A throw-away home and install folder (existing and empty: the start-up
# values, nothing written), a private runtime folder (no sound server: the
# built-in generator records) and no display.
mkdir -p "$work/home" "$work/install" "$work/xdg"
chmod 700 "$work/xdg"
headless=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
    XDG_RUNTIME_DIR="$work/xdg" VARMOLEN_INSTALL_DIR="$work/install")

# check ARGUMENTS EXIT OUT ERR: OUT and ERR are what the output must hold
# (a grep pattern), or "-" for nothing at all.
check() {
    local arguments=$1 want=$2 out=$3 err=$4
    # shellcheck disable=SC2086
    "${headless[@]}" timeout 10 "$bin" $arguments >"$work/out" 2>"$work/err"
    local rc=$?
    local what="varmolen $arguments"
    [ "$rc" = "$want" ] || fail "$what: exit status $rc, not $want ($(head -c 300 "$work/err"))"
    if [ "$out" = - ]; then [ ! -s "$work/out" ] || fail "$what: printed on the standard output"
    else grep -q -e "$out" "$work/out" || fail "$what: the standard output lacks '$out'"; fi
    if [ "$err" = - ]; then [ ! -s "$work/err" ] || fail "$what: printed on the standard error: $(head -c 300 "$work/err")"
    else grep -q -e "$err" "$work/err" || fail "$what: the standard error lacks '$err'"; fi
    [ "$rc" = "$want" ] && echo "ok: $what: exit $rc"
}

check "--help" 0 "^Usage: varmolen" -
check "-h" 0 "$work/install/Varmolen.cfg" -
check "--version" 0 "^varmolen $version\$" -
check "--bogus" 2 - "unknown option '--bogus'"
check "--remote=0" 2 - "the port must be a whole number from 1 to 65535"
check "--remote=abc" 2 - "the port must be"
check "stray" 2 - "unexpected argument 'stray'"
[ -z "$(ls -A "$work/install")" ] || fail "an answer of the command line wrote into the install folder: $(ls -A "$work/install")"

# The toolkit's options reach it: without -platform offscreen the program
# could not start here at all.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"${headless[@]}" "$bin" -platform offscreen -style Fusion --remote="$port" >"$work/run.log" 2>&1 &
pid=$!
answer=
for _ in $(seq 1 100); do
    answer=$(python3 - "$port" <<'PY' 2>/dev/null
import socket, sys
with socket.create_connection(("127.0.0.1", int(sys.argv[1])), 0.5) as s:
    s.settimeout(5)
    s.sendall(b"*IDN?\n")
    print(s.makefile().readline().strip())
PY
) && [ -n "$answer" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
case $answer in
    *",$version") echo "ok: varmolen -platform offscreen -style Fusion --remote=$port: started, answers '$answer'" ;;
    *) fail "varmolen -platform offscreen --remote=$port: no answer to *IDN? ($(head -c 400 "$work/run.log"))" ;;
esac
if kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid"
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    wait "$pid"
    rc=$?
    pid=
    [ "$rc" = 0 ] || fail "the offscreen run ended with $rc after SIGTERM"
fi

[ $failures = 0 ] && echo "all command-line checks passed" || echo "$failures failure(s)"
[ $failures = 0 ]
