#!/usr/bin/env bash
# Install what the build and the tests need, build, and run the whole test suite.
# VARMOLEN_BUILD_DIR and extra CMake arguments (e.g. -DVARMOLEN_SANITIZE=ON)
# choose another build. VARMOLEN_TEST_TRIES=N runs a failed test again, up
# to N runs in all (default 1: a failure is a failure).
set -euo pipefail
source "$(dirname "$0")/common.sh"

varmolen_install_packages "${VARMOLEN_BUILD_PACKAGES[@]}" "${VARMOLEN_TEST_PACKAGES[@]}"
dir=${VARMOLEN_BUILD_DIR:-$VARMOLEN_ROOT/build}
varmolen_build "$dir" "$@"
echo "== Running the tests"
ctest --test-dir "$dir" --output-on-failure -j2 --repeat "until-pass:${VARMOLEN_TEST_TRIES:-1}"
