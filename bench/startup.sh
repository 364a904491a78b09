#!/usr/bin/env bash
# startup.sh [binary] [runs]: time from process start to a shown "Varmolen"
# window, and the resident memory once it is up, under a private X server.
# Prints each run and the medians. Uses a throw-away home directory whose
# settings folder exists without a settings file, so that every run starts
# on the start-up values (a missing folder would make the first run a first
# start, which writes the default settings, and the runs would differ).
set -euo pipefail
bin=${1:-"$(dirname "$0")/../build/app/varmolen"}
runs=${2:-5}
bin=$(realpath "$bin")
inner=$(mktemp)
home=$(mktemp -d)
trap 'rm -rf "$inner" "$home"' EXIT
mkdir -p "$home/.config/Varmolen"
cat > "$inner" <<'INNER'
#!/usr/bin/env bash
set -u
bin=$1; runs=$2
for i in $(seq 1 "$runs"); do
  t0=$(date +%s%N)
  "$bin" & pid=$!
  until xdotool search --onlyvisible --name '^Varmolen$' >/dev/null 2>&1; do sleep 0.005; done
  t1=$(date +%s%N)
  sleep 1
  rss=$(awk '/VmRSS/ {print $2}' /proc/$pid/status)
  kill -TERM $pid; wait $pid; rc=$?
  echo "run $i: shown after $(( (t1 - t0) / 1000000 )) ms, resident $(( rss / 1024 )) MiB, exit $rc"
done
INNER
chmod +x "$inner"
HOME=$home XDG_CONFIG_HOME=$home/.config "$(dirname "$0")/../scripts/on-xvfb.sh" "$inner" "$bin" "$runs" | tee "$home/out"
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
t=$(awk '{print $5}' "$home/out" | median)
m=$(awk '{print $8}' "$home/out" | median)
echo "median of $runs: shown after $t ms, resident $m MiB"
