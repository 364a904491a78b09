#!/usr/bin/env bash
# Install what the instrument needs, build it, do the installer's part (the
# per-user install directory with a default Varmolen.cfg when none is there
# yet) and start it. Without a display it runs the instrument under Xvfb for
# a few seconds and saves a screenshot of its window instead.
set -euo pipefail
source "$(dirname "$0")/common.sh"

varmolen_install_packages "${VARMOLEN_BUILD_PACKAGES[@]}"
varmolen_build "$VARMOLEN_ROOT/build"
bin="$VARMOLEN_ROOT/build/app/varmolen"

# The installer's part: settings persist in the per-user install directory.
config_dir="${XDG_CONFIG_HOME:-$HOME/.config}/Varmolen"
mkdir -p "$config_dir"
"$VARMOLEN_ROOT/build/persist/varmolen-default-config" "$config_dir/Varmolen.cfg"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "== Starting Varmolen"
  exec "$bin"
fi

echo "== No display is available: running Varmolen under Xvfb for a few seconds and saving a screenshot."
varmolen_install_packages "${VARMOLEN_HEADLESS_PACKAGES[@]}"
shot="$VARMOLEN_ROOT/varmolen-screenshot.png"
# The demonstration runs on a copy of the settings, so what it saves at its
# end leaves the real settings file as it was.
demo_home=$(mktemp -d)
trap 'rm -rf "$demo_home"' EXIT
mkdir -p "$demo_home/.config/Varmolen"
cp "$config_dir/Varmolen.cfg" "$demo_home/.config/Varmolen/"
HOME=$demo_home XDG_CONFIG_HOME=$demo_home/.config "$VARMOLEN_ROOT/scripts/screenshot.sh" "$bin" "$shot" 3
echo "== Screenshot of the running instrument: $shot"
