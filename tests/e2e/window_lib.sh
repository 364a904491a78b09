# Sourced inside the X session: starts the program and finds its window.

# start_program BIN: starts it in the background; sets pid and win (the
# window's X id), failing when no window shows within 10 s.
start_program() {
    "$1" >"$work/program.log" 2>&1 &
    pid=$!
    win=""
    for _ in $(seq 1 100); do
        win=$(xdotool search --onlyvisible --name '^Varmolen$' 2>/dev/null | head -n 1 || true)
        [ -n "$win" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$win" ]; then
        echo "FAIL: the window did not show" >&2
        cat "$work/program.log" >&2
        kill -TERM "$pid" 2>/dev/null
        exit 1
    fi
}

# stop_program: SIGTERM, as the desktop does at log-out; the program must end
# by itself with status 0 within 10 s.
stop_program() {
    kill -TERM "$pid"
    for _ in $(seq 1 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "FAIL: the program did not end within 10 s of SIGTERM" >&2
        kill -KILL "$pid"
        exit 1
    fi
    wait "$pid"
    local rc=$?
    if [ "$rc" -ne 0 ]; then
        echo "FAIL: the program ended with status $rc" >&2
        cat "$work/program.log" >&2
        exit 1
    fi
}
