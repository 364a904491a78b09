#!/usr/bin/env bash
# build_probe.sh OUTPUT: builds the start-up probe (first_pass_probe.cpp) at
# OUTPUT, installing the X damage headers (Debian libxdamage-dev) first when
# they are missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?usage: $0 OUTPUT}
if [ ! -f /usr/include/X11/extensions/Xdamage.h ]; then
    echo "installing the probe's headers: apt-get install -y libxdamage-dev"
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        libx11-dev libxdamage-dev >/dev/null || { echo "could not install libxdamage-dev" >&2; exit 1; }
fi
g++ -std=c++20 -O2 -o "$out" "$root/bench/first_pass_probe.cpp" -lX11 -lXdamage -lXfixes
