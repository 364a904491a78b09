#!/usr/bin/env bash
# docs-screenshots.sh [binary]: retakes the manual's pictures of the real
# window. A prepared settings file in a throw-away home sets the scene (both
# channels of the built-in generator, trigger on, 44100 Hz, markers on); the
# window is captured under a private X server.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(realpath "${1:-$root/build/app/varmolen}")
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/.config/Varmolen"

# settings <displayType> <file>: the settings record, field by field.
settings() {
  python3 - "$1" "$2" <<'PY'
import struct, sys
display_type, path = int(sys.argv[1]), sys.argv[2]
rec = struct.pack('<BBiiiiiiiiiiiiiiBBBBBiIiiiiiiiiiBBiBi',
    1, 1,                 # channels enabled
    1, 1, 1, 1,           # ranges: time 1, 1; frequency 1, 1
    10, 20, 89, 260,      # time gain dials, time offsets (rows)
    60, 60, 172, 343,     # frequency gain dials, frequency offsets
    0, 1,                 # threshold, rising slope
    1, 0, 0, 0, 1,        # chop, add, hold, single, trigger on
    1, 44100, 100, 1,     # Y-T, rate, time base, line input
    display_type, 1, 1,   # display type, white scheme, trigger channel 1
    0x0000FF, 0xFF0000,   # red and blue traces
    150, 172, 1, 1,       # markers
    1, 1, 0)              # volume control, grid, device 0
assert len(rec) == 118, len(rec)
open(path, 'wb').write(rec)
PY
}

for kind in window:2 frequency:1; do
  name=${kind%%:*}
  settings "${kind##*:}" "$home/.config/Varmolen/Varmolen.cfg"
  HOME=$home XDG_CONFIG_HOME=$home/.config "$root/scripts/screenshot.sh" "$bin" "$root/docs/help/varmolen-$name.png" 4
  echo "docs/help/varmolen-$name.png"
done
