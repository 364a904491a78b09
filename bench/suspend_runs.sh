#!/usr/bin/env bash
# suspend_runs.sh [runs] [build dir]: runs the real-server suspend fault test
# (the window recording from a private PulseAudio server whose sink is
# suspended, then resumed) the given number of times in a row, each under a
# 120 s limit, and says how many passed, failed or hung, with the longest run.
# Not part of the test suite: it takes minutes. Run it beside another load
# (e.g. a second copy, or `ctest -j2`) to shake out timing faults.
set -uo pipefail
runs=${1:-20}
build=${2:-"$(dirname "$0")/../build"}
test_bin="$build/tests/faults/faults_server_test"
[ -x "$test_bin" ] || { echo "build the tests first: $test_bin is missing" >&2; exit 2; }
passed=0 failed=0 hung=0 longest=0
for i in $(seq 1 "$runs"); do
    t0=$(date +%s%N)
    QT_QPA_PLATFORM=offscreen timeout -k 5 120 "$test_bin" \
        --gtest_filter='ServerFaults.SuspendedSource*' >"/tmp/varmolen-suspend-run-$i.log" 2>&1
    rc=$?
    ms=$(( ($(date +%s%N) - t0) / 1000000 ))
    [ "$ms" -gt "$longest" ] && longest=$ms
    case $rc in
        0) passed=$((passed + 1)); echo "run $i: passed in $ms ms" ;;
        124|137) hung=$((hung + 1)); echo "run $i: HUNG (killed after 120 s); log /tmp/varmolen-suspend-run-$i.log" ;;
        *) failed=$((failed + 1)); echo "run $i: FAILED ($rc) in $ms ms; log /tmp/varmolen-suspend-run-$i.log" ;;
    esac
    [ "$rc" -eq 0 ] && rm -f "/tmp/varmolen-suspend-run-$i.log"
done
echo "suspend runs: $runs, passed $passed, failed $failed, hung $hung, longest $longest ms"
[ "$failed" -eq 0 ] && [ "$hung" -eq 0 ]
