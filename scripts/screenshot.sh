#!/usr/bin/env bash
# screenshot.sh <binary> <png> [seconds]: runs the instrument under a private
# X server, waits, saves a PNG of its window, then closes it with SIGTERM (as
# its close box would, so settings are saved). VARMOLEN_SHOT_CLICKS, a list of
# "x,y" points in the window, are clicked one second after the window shows,
# as a user would. VARMOLEN_SHOT_SCREEN sets the X server's screen
# (WIDTHxHEIGHTxDEPTH, default 1280x1024x24), for a window larger than that.
set -euo pipefail
bin=$1
shot=$2
wait_s=${3:-4}
runtime=$(mktemp -d)
inner="$runtime/inner.sh"
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"
cat > "$inner" <<'INNER'
#!/usr/bin/env bash
set -u
"$1" & pid=$!
win=""
for _ in $(seq 1 100); do
  win=$(xdotool search --onlyvisible --name '^Varmolen$' 2>/dev/null | head -n 1 || true)
  [ -n "$win" ] && break
  sleep 0.1
done
sleep 1
for point in ${VARMOLEN_SHOT_CLICKS:-}; do
  [ -n "$win" ] && xdotool mousemove --window "$win" "${point%,*}" "${point#*,}" click 1
  sleep 0.2
done
sleep "$3"
if [ -n "$win" ]; then import -window "$win" "$2"; else import -window root "$2"; fi
kill -TERM "$pid"
wait "$pid"
INNER
chmod +x "$inner"
XDG_RUNTIME_DIR=$runtime "$(dirname "$0")/on-xvfb.sh" -s "${VARMOLEN_SHOT_SCREEN:-1280x1024x24}" "$inner" "$bin" "$shot" "$wait_s"
