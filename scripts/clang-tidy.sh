#!/usr/bin/env bash
# clang-tidy.sh [--fix] [FILE...]: the naming rule of .clang-tidy over every
# product source, every finding an error: the .cpp files of the build's
# compile_commands.json outside tests/ and bench/ (generated sources left
# out), with the product headers they include. Prints each finding once and
# exits 1 when there is any. With FILEs, checks those instead. Installs
# clang-tidy when missing.
#
# --fix renames instead, by clang-tidy's own fixes: every name a product
# source declares against the rule gets the name the rule gives it, at every
# use in the product, test and bench sources (a name a test or a bench
# declares is left as it is); the Markdown's `code` and the sources'
# comments follow (scripts/naming.py prose says how), and
# scripts/check-format.sh --fix lays the sources out again. Build and run the
# tests after it, then check again.
#
# The build is $VARMOLEN_BUILD_DIR, or build/: configured and built, since
# clang-tidy reads compile_commands.json and the headers the build generates.
# VARMOLEN_TIDY_JOBS clang-tidy processes run at once (2).
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$VARMOLEN_ROOT"
fix=0
if [ "${1:-}" = "--fix" ]; then
    fix=1
    shift
fi
build=${VARMOLEN_BUILD_DIR:-$VARMOLEN_ROOT/build}
jobs=${VARMOLEN_TIDY_JOBS:-2}
if [ $fix -eq 1 ]; then
    varmolen_install_packages clang-tidy clang-tools python3-yaml
else
    varmolen_install_packages clang-tidy
fi
if [ ! -f "$build/compile_commands.json" ]; then
    echo "no $build/compile_commands.json: configure and build first (scripts/setup-and-test.sh)" >&2
    exit 1
fi
python3 scripts/naming.py config "$VARMOLEN_ROOT"

files=()
if [ $# -gt 0 ]; then
    for f in "$@"; do
        files+=("$(realpath "$f")")
    done
elif [ $fix -eq 1 ]; then
    mapfile -t files < <(python3 scripts/naming.py sources "$VARMOLEN_ROOT" "$build" --all)
else
    mapfile -t files < <(python3 scripts/naming.py sources "$VARMOLEN_ROOT" "$build")
fi
[ ${#files[@]} -gt 0 ] || exit 1

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/log" "$tmp/fixes"
started=$(date +%s)
echo "== clang-tidy $(clang-tidy --version | sed -n 's/.*LLVM version //p') over ${#files[@]} sources, $jobs at once"
# One clang-tidy a source; its output goes to a log of its own, and a source
# whose clang-tidy fails (a finding, or code it could not compile) is noted.
# -Wno-error: the build's -Werror is for GCC's warnings; Clang warns of other
# things, which are not this check's business.
export build tmp fix
printf '%s\n' "${files[@]}" | xargs -d '\n' -n 1 -P "$jobs" bash -c '
    f=$1
    id=$(printf %s "$f" | md5sum | cut -c1-16)
    if [ "$fix" -eq 1 ]; then
        args=(--export-fixes="$tmp/fixes/$id.yaml")
    else
        args=(--warnings-as-errors=readability-identifier-naming)
    fi
    clang-tidy -p "$build" --quiet --extra-arg=-Wno-error "${args[@]}" "$f" >"$tmp/log/$id" 2>&1 ||
        echo "$f" >>"$tmp/failed"
' _
seconds=$(($(date +%s) - started))

# A finding in a header shows in every source that includes it: each once.
finding=': (warning|error): .*\[readability-identifier-naming'
cat "$tmp"/log/* | grep -E "$finding" | sort -u >"$tmp/findings" || true
cat "$tmp"/log/* | grep -E ': (fatal )?error: ' | grep -vE "$finding" | sort -u >"$tmp/errors" || true
n=$(wc -l <"$tmp/findings")
if [ -s "$tmp/errors" ]; then
    cat "$tmp/errors"
    echo "clang-tidy could not compile some sources (above); nothing checked or renamed in them" >&2
    exit 1
fi

if [ $fix -eq 0 ]; then
    if [ "$n" -gt 0 ]; then
        cat "$tmp/findings"
        echo "$n naming findings in ${#files[@]} sources ($seconds s): see .clang-tidy; bash scripts/clang-tidy.sh --fix renames" >&2
        exit 1
    fi
    if [ -s "$tmp/failed" ]; then
        cat "$tmp/failed" "$tmp"/log/*
        echo "clang-tidy failed on the sources above" >&2
        exit 1
    fi
    echo "== no naming findings in ${#files[@]} sources ($seconds s)"
    exit 0
fi

echo "== $n findings in ${#files[@]} sources ($seconds s)"
python3 scripts/naming.py keep-product "$VARMOLEN_ROOT" "$tmp/fixes"
clang-apply-replacements "$tmp/fixes"
python3 scripts/naming.py prose "$VARMOLEN_ROOT" "$tmp/fixes/renames.tsv"
bash scripts/check-format.sh --fix
echo "== renamed; now build, run the tests and check again (bash scripts/clang-tidy.sh)"
