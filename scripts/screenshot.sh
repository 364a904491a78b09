#!/usr/bin/env bash
# screenshot.sh <binary> <png> [seconds]: runs the instrument under a private
# X server, waits, saves a PNG of its window, then closes it with SIGTERM (as
# its close box would, so settings are saved).
set -euo pipefail
bin=$1
shot=$2
wait_s=${3:-4}
inner=$(mktemp)
trap 'rm -f "$inner"' EXIT
cat > "$inner" <<'INNER'
#!/usr/bin/env bash
set -u
"$1" & pid=$!
sleep "$3"
win=$(xdotool search --sync --onlyvisible --name '^Varmolen$' 2>/dev/null | head -n 1 || true)
if [ -n "$win" ]; then import -window "$win" "$2"; else import -window root "$2"; fi
kill -TERM "$pid"
wait "$pid"
INNER
chmod +x "$inner"
command -v xdotool >/dev/null || { echo "xdotool missing: taking the whole screen"; }
xvfb-run -a -s "-screen 0 1280x1024x24" "$inner" "$bin" "$shot" "$wait_s"
