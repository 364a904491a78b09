#!/usr/bin/env bash
# app_load.sh [seconds] [field=value ...]: CPU time and resident memory of the
# running instrument under a private X server, recording at 44100 Hz stereo
# (line input) from device 0 — the built-in signal generator on a machine
# without sound input. Further settings fields (see scripts/make-settings.py)
# choose the scene, e.g. chan1Enabled=1 chan2Enabled=1 displayType=1.
# Prints the CPU share of one core over the measured interval (after a 2 s
# settling time) and the resident memory at its end. VARMOLEN_SAMPLE_RATE
# records at a rate of Options > Sample Rate instead (through Varmolen.ini);
# VARMOLEN_INI adds lines of its own to Varmolen.ini (a time base, a mode).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
shift || true
bin=${VARMOLEN_BIN:-$root/build/app/varmolen}
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/.config/Varmolen"
python3 "$root/scripts/make-settings.py" "$home/.config/Varmolen/Varmolen.cfg" sampleRate=44100 inputSelect=1 "$@"
if [ -n "${VARMOLEN_SAMPLE_RATE:-}" ]; then
    printf '[Acquisition]\nSampleRate=%s\n' "$VARMOLEN_SAMPLE_RATE" >"$home/.config/Varmolen/Varmolen.ini"
fi
if [ -n "${VARMOLEN_INI:-}" ]; then
    printf '%s\n' "$VARMOLEN_INI" >>"$home/.config/Varmolen/Varmolen.ini"
fi
inner=$(mktemp -p "$home")
cat > "$inner" <<'INNER'
#!/usr/bin/env bash
set -u
bin=$1; seconds=$2
"$bin" & pid=$!
sleep 2
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks); w0=$(date +%s%N)
sleep "$seconds"
t1=$(ticks); w1=$(date +%s%N)
rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
kill -TERM "$pid"; wait "$pid"; rc=$?
awk -v t=$((t1 - t0)) -v hz="$hz" -v w=$((w1 - w0)) -v rss="$rss" -v rc="$rc" 'BEGIN {
  cpu = t / hz; wall = w / 1e9
  printf "cpu %.2f s over %.1f s wall = %.2f %% of one core; resident %.1f MiB; exit %d\n", cpu, wall, 100 * cpu / wall, rss / 1024, rc }'
INNER
chmod +x "$inner"
HOME=$home XDG_CONFIG_HOME=$home/.config "$root/scripts/on-xvfb.sh" "$inner" "$bin" "$seconds" 2>&1 | grep -v XDG_RUNTIME_DIR
