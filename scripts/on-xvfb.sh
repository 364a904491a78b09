#!/usr/bin/env bash
# on-xvfb.sh [-s WIDTHxHEIGHTxDEPTH] COMMAND [ARGS...]: runs COMMAND with
# DISPLAY and XAUTHORITY set to a private, throw-away X server, and returns
# COMMAND's exit status.
#
# Used instead of "xvfb-run -a" by every headless run of the window. That
# server resets whenever its last client leaves, and a script polling for
# the window with xdotool leaves it often: a program connecting during such
# a reset is refused ("could not connect to display") and aborts. Here the
# server never resets (-noreset), picks a free display number itself
# (-displayfd) so that two runs at once never share one, and only a client
# holding this run's cookie may connect.
set -u
screen=1280x1024x24
if [ "${1:-}" = "-s" ]; then
    screen=$2
    shift 2
fi
[ $# -ge 1 ] || { echo "usage: $0 [-s WxHxD] COMMAND [ARGS...]" >&2; exit 2; }
for tool in Xvfb xauth mcookie; do
    command -v "$tool" >/dev/null 2>&1 || { echo "on-xvfb: $tool is not installed" >&2; exit 1; }
done

xdir=$(mktemp -d /tmp/varmolen-xvfb-XXXXXX)
xpid=""
finish() {
    if [ -n "$xpid" ]; then
        kill -TERM "$xpid" 2>/dev/null
        wait "$xpid" 2>/dev/null
    fi
    rm -rf "$xdir"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The server reads every cookie in its file, whatever display it names; the
# client's file must name the display, which is known only once it runs.
cookie=$(mcookie)
touch "$xdir/server" "$xdir/client"
xauth -q -f "$xdir/server" add :0 . "$cookie"
mkfifo "$xdir/number"
Xvfb -displayfd 3 -noreset -nopn -nolisten tcp -auth "$xdir/server" -screen 0 "$screen" \
    3>"$xdir/number" >"$xdir/server.log" 2>&1 &
xpid=$!
number=""
read -r -t 30 number <"$xdir/number" || true
if [ -z "$number" ] || ! kill -0 "$xpid" 2>/dev/null; then
    echo "on-xvfb: the X server did not start" >&2
    cat "$xdir/server.log" >&2
    exit 1
fi
xauth -q -f "$xdir/client" add ":$number" . "$cookie"

DISPLAY=:$number XAUTHORITY=$xdir/client "$@"
