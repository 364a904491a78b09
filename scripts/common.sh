# Shared by the set-up scripts: install Debian packages (printing what is
# installed), configure and build with Ninja. Sourced, not run.

VARMOLEN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Packages to build and run the instrument; dpkg-dev lets `cpack -G DEB`
# compute the Debian package's library dependencies.
VARMOLEN_BUILD_PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-qpa-plugins libasound2-dev
  libasound2-plugins libsndfile1-dev libfftw3-dev libxcb-shm0-dev googletest libgtest-dev libgmock-dev
  libbenchmark-dev fonts-dejavu-core dpkg-dev)
# Packages to see the window without a display.
VARMOLEN_HEADLESS_PACKAGES=(xvfb xauth imagemagick xdotool)
# Packages the tests use: a private sound server with a null sink, a tone
# generator, a window driver, a private session bus with the accessibility
# bus and its Python client to read the window as a screen reader does, and
# the sources of a German locale (decimal comma) that the CSV export test
# builds for itself.
VARMOLEN_TEST_PACKAGES=(pulseaudio pulseaudio-utils sox xvfb xauth xdotool imagemagick python3
  dbus at-spi2-core python3-pyatspi locales)
# A private PipeWire with WirePlumber and its PulseAudio layer beside
# PulseAudio, for the recording tests on PipeWire; ALSA's PipeWire plugin
# (pipewire-alsa, which conflicts with pulseaudio) is not installed: the
# tests take it out of its package file (apt-get download) into the build.
VARMOLEN_TEST_PACKAGES+=(pipewire wireplumber pipewire-pulse)
# The remote-control run drives the instrument through a VISA library.
VARMOLEN_TEST_PACKAGES+=(python3-pyvisa python3-pyvisa-py)
# The installed layout's check validates the AppStream metainfo and formats
# the manual page.
VARMOLEN_TEST_PACKAGES+=(appstream groff-base)

varmolen_install_packages() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    echo "== Debian packages: all present ($*)"
    return 0
  fi
  echo "== Installing Debian packages: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# varmolen_build <build dir> [extra cmake arguments...]
varmolen_build() {
  local dir=$1
  shift
  echo "== Building in $dir"
  cmake -S "$VARMOLEN_ROOT" -B "$dir" -G Ninja "$@"
  cmake --build "$dir"
}
