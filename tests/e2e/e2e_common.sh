# Shared by the black-box scripts: tools, a throw-away install of the
# program, a throw-away home with a prepared settings file, and waiting for
# the window on a private X server. Sourced, not run.

# Fails the script (loudly) when a tool it needs is missing: a run that
# cannot look at the window proves nothing.
need_tools() {
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "FAIL: $tool is not installed; this check cannot run without it" >&2
            exit 1
        fi
    done
}

# make_workspace BUILD_DIR: installs the built program into $work/prefix and
# prepares $work/home (HOME) and $work/runtime (XDG_RUNTIME_DIR, private, so
# no sound server is reached and device 0 is the built-in generator).
make_workspace() {
    work=$(mktemp -d /tmp/varmolen-e2e-XXXXXX)
    export work
    trap 'rm -rf "$work"' EXIT
    cmake --install "$1" --prefix "$work/prefix" >"$work/install.log" 2>&1 || {
        echo "FAIL: could not install the program from $1" >&2
        cat "$work/install.log" >&2
        exit 1
    }
    bin=$work/prefix/bin/varmolen
    [ -x "$bin" ] || { echo "FAIL: no installed binary at $bin" >&2; exit 1; }
    mkdir -p "$work/home/.config/Varmolen" "$work/runtime"
    chmod 700 "$work/runtime"
    cfg=$work/home/.config/Varmolen/Varmolen.cfg
}

# run_on_xvfb SCRIPT ARGS...: runs an inner script under a private X server
# with the throw-away home.
run_on_xvfb() {
    HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime \
        "$here/../../scripts/on-xvfb.sh" bash "$@"
}
