#!/usr/bin/env bash
# first_pass_probe_check.sh: checks the start-up probe that peer_compare.sh
# uses, under a private X server, against a program whose first picture comes
# at a known time (ImageMagick's `display` showing a block of the probe's
# colour after a fixed delay). Prints PASS or FAIL per case; exit 1 on a FAIL.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$root/bench/build_probe.sh" "$work/probe"
convert -size 200x100 xc:'#FE0201' "$work/block.png"
cat >"$work/inner.sh" <<'INNER'
#!/usr/bin/env bash
set -u
w=$1; fails=0
check() {  # check NAME CONDITION-RESULT DETAIL
    if [ "$2" = 0 ]; then echo "PASS $1: $3"; else echo "FAIL $1: $3"; fails=$((fails + 1)); fi
}
# 1. The block appears 400 ms after the start at the earliest: the probe must
#    not report it sooner, must see it, and must have seen a window no later.
out=$("$w/probe" FE0201 10000 8000 sh -c "sleep 0.4; exec display -geometry +0+0 '$w/block.png'"); rc=$?
pass=$(sed -n 's/^first pass after \([0-9]*\) ms$/\1/p' <<<"$out")
win=$(sed -n 's/^window on screen after \([0-9]*\) ms$/\1/p' <<<"$out")
[ $rc = 0 ] && [ -n "$pass" ] && [ "$pass" -ge 400 ] && [ -n "$win" ] && [ "$win" -le "$pass" ]
check "delayed picture" $? "rc $rc, $(tr '\n' ' ' <<<"$out")"
# 2. A colour that never appears: a timeout, reported as such.
out=$("$w/probe" 00FF7F 10 1500 display -geometry +0+0 "$w/block.png"); rc=$?
[ $rc = 1 ] && grep -q '^no first pass within 1500 ms$' <<<"$out"
check "colour never drawn" $? "rc $rc, $(tr '\n' ' ' <<<"$out")"
# 3. Too few pixels of the colour (the block has 20000): no first pass.
out=$("$w/probe" FE0201 20001 1500 display -geometry +0+0 "$w/block.png"); rc=$?
[ $rc = 1 ]
check "fewer pixels than asked" $? "rc $rc, $(tr '\n' ' ' <<<"$out")"
# 4. A program that ends without drawing is reported at once, not waited for.
t0=$(date +%s%N)
"$w/probe" FE0201 10 5000 true >/dev/null 2>&1; rc=$?
ms=$(( ($(date +%s%N) - t0) / 1000000 ))
[ $rc = 1 ] && [ $ms -lt 2000 ]
check "program ends before drawing" $? "rc $rc after $ms ms"
exit $((fails > 0))
INNER
chmod +x "$work/inner.sh"
"$root/scripts/on-xvfb.sh" -s 1024x768x24 "$work/inner.sh" "$work"
