#!/usr/bin/env bash
# check-format.sh [--fix]: every C++ source and header of the repository is
# laid out as .clang-format says. Lists the files that are not and exits 1;
# with --fix, lays them out instead. Installs clang-format when missing.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$VARMOLEN_ROOT"
varmolen_install_packages clang-format
mapfile -t files < <(git ls-files '*.h' '*.cpp')
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
bad=()
for f in "${files[@]}"; do
    if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
        bad+=("$f")
    fi
done
if [ ${#bad[@]} -gt 0 ]; then
    printf 'not formatted: %s\n' "${bad[@]}"
    echo "${#bad[@]} of ${#files[@]} sources are not formatted; run scripts/check-format.sh --fix"
    exit 1
fi
echo "all ${#files[@]} sources formatted ($(clang-format --version))"
