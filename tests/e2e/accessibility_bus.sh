#!/usr/bin/env bash
# accessibility_bus.sh BUILD_DIR SOURCE_DIR: the installed program read and
# worked over the accessibility bus, as a screen reader would, on a private
# X server with a private session bus (accessibility_bus.py does the work).
set -euo pipefail
build=$1
src=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_common.sh"
need_tools Xvfb xauth dbus-run-session cmake
python=/usr/bin/python3
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || { echo "FAIL: $launcher is missing (Debian package at-spi2-core)" >&2; exit 1; }
"$python" -c 'import pyatspi' 2>/dev/null || {
    echo "FAIL: $python cannot import pyatspi (Debian package python3-pyatspi)" >&2
    exit 1
}
make_workspace "$build"

# No session bus or accessibility bus of the caller's may leak in.
unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS QT_QPA_PLATFORM
status=0
run_on_xvfb -c 'exec dbus-run-session -- "$0" "$@"' "$python" "$here/accessibility_bus.py" "$bin" "$work" || status=$?
if [ "$status" -ne 0 ]; then
    for log in "$work/program.log" "$work/bus-launcher.log"; do
        [ -s "$log" ] && { echo "--- $log" >&2; cat "$log" >&2; }
    done
fi
exit "$status"
