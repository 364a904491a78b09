#!/usr/bin/env bash
# peer_compare.sh [seconds] [startup-runs]: the instrument's load side by side
# with a peer sound-card oscilloscope (xoscope), in one run, on one private
# PulseAudio server and one private X server.
#
# The server's null sink plays a 1 kHz sine on the left and a 250 Hz square on
# the right (sox through pacat --latency-msec=20); its monitor is the default
# source, which ALSA's default device reaches through the pulse plugin. Seven
# programs record it at the same time for `seconds` (default 30) after a
# settling time: Varmolen in the TIME display, Varmolen in the FREQUENCY
# display (both at 44100 Hz stereo, both channels drawn, from device 0 = ALSA's
# default input), the same two with the measurement strip shown (Measure >
# Show Measurements, set in Varmolen.ini), Varmolen in the TIME display at
# Display > Size > Large (twice the display's width and height, labelled axes
# on; [Display] Size=large in Varmolen.ini), Varmolen recording with no channel
# drawn (what acquisition alone costs), Varmolen in the TIME display while it
# records a WAV file (File > Record WAV..., driven with xdotool; the row is
# left out when the window-driving helper e2e_panel_points was not built),
# `xoscope -D ALSA -A default`, and bench/bare_capture.cpp, a
# loop that only records, with the instrument's own format, buffering and
# reads (the floor: what recording from this server costs any program before
# it draws anything). Each gets its own throw-away
# home directory. Prints the CPU share of one core (user + system time over the
# interval), the resident memory at its end and the ratio to the peer's CPU.
#
# Then the time from start to the first drawn pass, `startup-runs` times
# (default 5) at each display size (Normal, Large, and Fit to Window in a
# 1600 x 1100 window), median: bench/first_pass_probe.cpp starts the instrument and
# reads back each part of the screen the X server reports changed until the
# traces, drawn in a colour that appears nowhere else on the screen, are there.
#
# Needs Xvfb, pulseaudio, pactl, pacat, sox, g++, the X11 and ALSA headers;
# installs the Debian packages xoscope and libxdamage-dev when missing. VARMOLEN_BIN chooses
# the binary (default build/app/varmolen). Not part of the test suite: it
# takes about a minute.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
runs=${2:-5}
bin=$(realpath "${VARMOLEN_BIN:-$root/build/app/varmolen}")
# Prints where the window's menu items are, for driving Record WAV.
points=${VARMOLEN_POINTS:-$root/build/tests/e2e/e2e_panel_points}
[ -x "$points" ] || points=""

for tool in Xvfb pulseaudio pactl pacat sox g++; do
    command -v "$tool" >/dev/null 2>&1 || { echo "missing $tool" >&2; exit 1; }
done
if ! command -v xoscope >/dev/null 2>&1; then
    echo "installing the peer: apt-get install -y xoscope"
    apt-get install -y xoscope >/dev/null || { echo "could not install xoscope" >&2; exit 1; }
    echo "installed xoscope $(dpkg-query -W -f='${Version}' xoscope)"
fi

# ---- the sound server: the tests' rig, a 1 kHz sine left and a 250 Hz square right
source "$root/bench/rig_lib.sh"
rig_start sine 1000 square 250

probe=$work/first_pass_probe
"$root/bench/build_probe.sh" "$probe"
bare=$work/bare_capture
g++ -std=c++20 -O2 -o "$bare" "$root/bench/bare_capture.cpp" -lasound

# ---- one home directory per program
settings() { rig_settings "$1" chan1Enabled=1 chan2Enabled=1 "${@:2}"; }  # settings NAME field=value...
settings time displayType=2
settings rec displayType=2
settings freq displayType=1
# The same two with the measurement strip shown.
settings timem displayType=2
settings freqm displayType=1
for m in timem freqm; do printf '[Measure]\nShown=true\n' >"$work/home-$m/.config/Varmolen/Varmolen.ini"; done
# FREQUENCY + strip recorded at 24 bits and in floats.
settings freq24 displayType=1
settings freqf displayType=1
printf '[Measure]\nShown=true\n[Acquisition]\nPrecision=24\n' >"$work/home-freq24/.config/Varmolen/Varmolen.ini"
printf '[Measure]\nShown=true\n[Acquisition]\nPrecision=float\n' >"$work/home-freqf/.config/Varmolen/Varmolen.ini"
# The TIME display at Large.
settings large displayType=2
printf '[Display]\nSize=large\n' >"$work/home-large/.config/Varmolen/Varmolen.ini"
# The same recording with no channel drawn: the cost of acquisition alone.
settings idle displayType=2 chan1Enabled=0 chan2Enabled=0
# Traces in a colour (R 0xFE, G 0x02, B 0x01) that nothing else on the screen
# has, so the probe can tell the first drawn pass.
settings start displayType=2 chan1Color=0x0102FE chan2Color=0x0102FE
# The same at Large and at Fit to Window.
settings startl displayType=2 chan1Color=0x0102FE chan2Color=0x0102FE
printf '[Display]\nSize=large\n' >"$work/home-startl/.config/Varmolen/Varmolen.ini"
settings startf displayType=2 chan1Color=0x0102FE chan2Color=0x0102FE
printf '[Display]\nSize=fit\nFitWidth=1600\nFitHeight=1100\n' >"$work/home-startf/.config/Varmolen/Varmolen.ini"
mkdir -p "$work/home-peer" "$work/home-bare"

inner=$work/inner.sh
cat >"$inner" <<'INNER'
#!/usr/bin/env bash
set -u
bin=$1; work=$2; seconds=$3; runs=$4; probe=$5; bare=$6; points=${7:-}
run_in() {  # run_in NAME program...: start with its own home, print the PID
    local home=$work/home-$1
    shift
    HOME=$home XDG_CONFIG_HOME=$home/.config "$@" >"$home.log" 2>&1 &
    echo $!
}
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
threads() {  # threads PID: "tid name ticks" per thread
    local t name
    for t in /proc/"$1"/task/*; do
        if [ "${t##*/}" = "$1" ]; then name=user-interface; else name=$(tr ' ' '_' <"$t/comm"); fi
        [ "$name" = varmolen ] && name=capture
        [ "$(cat "$t/comm")" = bare_capture ] && name=capture
        echo "${t##*/} $name $(awk '{print $14 + $15}' "$t/stat")"
    done
}

# First, alone on the screen, the instance that records a WAV file: its File
# menu is opened and Record WAV... chosen with the pointer.
programs="time freq timem freqm freq24 freqf large idle peer bare"
if [ -n "$points" ] && command -v xdotool >/dev/null; then
    "$points" >"$work/points.txt" 2>"$work/points.log"
    at() { awk -v n="$1" '$1 == n { print $2, $3 }' "$work/points.txt"; }
    p_rec=$(run_in rec "$bin")
    win=""
    for _ in $(seq 1 100); do
        win=$(xdotool search --onlyvisible --pid "$p_rec" --name '^Varmolen$' 2>/dev/null | head -n 1 || true)
        [ -n "$win" ] && break
        sleep 0.1
    done
    sleep 1
    read -r x y <<<"$(at file-menu)"
    xdotool mousemove --window "$win" "$x" "$y" click 1
    sleep 0.5
    read -r mx my <<<"$(at record-wav-item)"
    menu=$(xdotool search --onlyvisible --pid "$p_rec" 2>/dev/null | grep -v "^$win\$" | tail -n 1 || true)
    [ -n "$menu" ] && xdotool mousemove --window "$menu" "$mx" "$my" click 1
    for _ in $(seq 1 50); do
        xdotool search --onlyvisible --name 'Record WAV' >/dev/null 2>&1 && break
        sleep 0.1
    done
    sleep 0.5
    xdotool type --delay 20 "$work/recording.wav"
    xdotool key Return
    sleep 1
    if [ -s "$work/recording.wav" ]; then
        programs="time rec freq timem freqm freq24 freqf large idle peer bare"
    else
        echo "the recording did not start; the recording row is left out"
        kill -TERM "$p_rec"
    fi
fi
p_time=$(run_in time "$bin")
p_freq=$(run_in freq "$bin")
p_timem=$(run_in timem "$bin")
p_freqm=$(run_in freqm "$bin")
p_freq24=$(run_in freq24 "$bin")
p_freqf=$(run_in freqf "$bin")
p_large=$(run_in large "$bin")
p_idle=$(run_in idle "$bin")
p_peer=$(run_in peer xoscope -D ALSA -A default)
p_bare=$(run_in bare "$bare")
sleep 3
clients=$(pactl list short source-outputs 2>/dev/null | wc -l)
echo "recording clients on the server: $clients (expected $(wc -w <<<"$programs"))"
hz=$(getconf CLK_TCK)
declare -A t0 t1 m
mine=${programs/ peer/}
for p in $programs; do v=p_$p; t0[$p]=$(ticks "${!v}"); done
for p in $mine; do v=p_$p; threads "${!v}" >"$work/threads-$p.0"; done
w0=$(date +%s%N)
sleep "$seconds"
for p in $programs; do v=p_$p; t1[$p]=$(ticks "${!v}"); m[$p]=$(rss "${!v}"); done
for p in $mine; do v=p_$p; threads "${!v}" >"$work/threads-$p.1"; done
w1=$(date +%s%N)
case " $programs " in *" rec "*) echo "recorded $(stat -c %s "$work/recording.wav") bytes before the end" ;; esac
for p in $programs; do
    v=p_$p
    kill -TERM "${!v}" 2>/dev/null
    wait "${!v}"
    echo "load $p $((t1[$p] - t0[$p])) $hz $((w1 - w0)) ${m[$p]}"
done
# Where each instance's time went, by thread: the user-interface thread, the
# capture thread (the other thread with the program's name), the sound
# server client's thread (threaded-ml) and the toolkit's helpers.
for p in $mine; do
    awk -v p="$p" -v hz="$hz" -v w=$((w1 - w0)) '
        FNR == NR { before[$1] = $3; next }
        $3 - before[$1] > 0 || !($2 in share) { share[$2] += 100 * (($3 - before[$1]) / hz) / (w / 1e9) }
        END { line = ""; for (n in share) line = line sprintf("  %s %.2f", n, share[n]); print "threads " p line }
    ' "$work/threads-$p.0" "$work/threads-$p.1"
done

for size in start startl startf; do
    for i in $(seq 1 "$runs"); do
        HOME=$work/home-$size XDG_CONFIG_HOME=$work/home-$size/.config \
            "$probe" FE0201 200 5000 "$bin" 2>>"$work/home-$size.log" | sed "s/^/$size $i /"
        sleep 0.5
    done
done
INNER
chmod +x "$inner"

echo "Varmolen: $bin"
echo "peer: xoscope $(dpkg-query -W -f='${Version}' xoscope 2>/dev/null || echo '?')"
echo "signal: 1 kHz sine (left), 250 Hz square (right), 44100 Hz, through a private PulseAudio null sink"
echo "measuring ${seconds} s, all programs at once under one Xvfb ..."
"$root/scripts/on-xvfb.sh" -s 1920x1200x24 "$inner" "$bin" "$work" "$seconds" "$runs" "$probe" "$bare" "$points" \
    >"$work/out" 2>"$work/err" || true
grep -v '^load \|^start\|^threads ' "$work/out" || true

awk -v runs="$runs" '
function cpu(p) { return 100 * (tk[p] / hz[p]) / (wall[p] / 1e9) }
/^load / { tk[$2] = $3; hz[$2] = $4; wall[$2] = $5; mem[$2] = $6 / 1024; have[$2] = 1 }
/^start / && /first pass after/ { ms[++n] = $6; line = line sprintf(" %d", $6) }
/^startl / && /first pass after/ { lms[++nl] = $6; lline = lline sprintf(" %d", $6) }
/^startf / && /first pass after/ { fms[++nf] = $6; fline = fline sprintf(" %d", $6) }
/^start / && /no first pass/ { failed++ }
/^start / && /window on screen after/ { wms[++nw] = $7 }
/^threads / { name = $2 == "time" ? "Varmolen TIME" : $2 == "rec" ? "Varmolen TIME + WAV" : $2 == "freq" ? "Varmolen FREQUENCY" : $2 == "timem" ? "TIME + strip" : $2 == "freqm" ? "FREQUENCY + strip" : $2 == "freq24" ? "FREQ + strip, 24-bit" : $2 == "freqf" ? "FREQ + strip, float" : $2 == "large" ? "TIME at Large" : $2 == "idle" ? "Varmolen no channel" : "recording alone"
              $1 = ""; $2 = ""; sub(/^ +/, ""); threads = threads sprintf("  %-20s %s\n", name, $0) }
END {
    if (!have["time"] || !have["freq"] || !have["timem"] || !have["freqm"] || !have["large"] || !have["idle"] || !have["peer"] || !have["bare"]) { print "a program did not run to the end; see the logs" > "/dev/stderr"; exit 1 }
    peer = cpu("peer")
    printf "\n%-22s %12s %14s %16s\n", "program", "CPU % core", "resident MiB", "CPU / xoscope"
    printf "%-22s %12.2f %14.1f %16.3f\n", "Varmolen TIME", cpu("time"), mem["time"], (peer > 0 ? cpu("time") / peer : 0)
    if (have["rec"])
        printf "%-22s %12.2f %14.1f %16.3f\n", "Varmolen TIME + WAV", cpu("rec"), mem["rec"], (peer > 0 ? cpu("rec") / peer : 0)
    printf "%-22s %12.2f %14.1f %16.3f\n", "Varmolen FREQUENCY", cpu("freq"), mem["freq"], (peer > 0 ? cpu("freq") / peer : 0)
    printf "%-22s %12.2f %14.1f %16.3f\n", "TIME + strip", cpu("timem"), mem["timem"], (peer > 0 ? cpu("timem") / peer : 0)
    printf "%-22s %12.2f %14.1f %16.3f\n", "FREQUENCY + strip", cpu("freqm"), mem["freqm"], (peer > 0 ? cpu("freqm") / peer : 0)
    printf "%-22s %12.2f %14.1f %16.3f\n", "FREQ + strip, 24-bit", cpu("freq24"), mem["freq24"], (peer > 0 ? cpu("freq24") / peer : 0)
    printf "%-22s %12.2f %14.1f %16.3f\n", "FREQ + strip, float", cpu("freqf"), mem["freqf"], (peer > 0 ? cpu("freqf") / peer : 0)
    printf "%-22s %12.2f %14.1f %16.3f\n", "TIME at Large", cpu("large"), mem["large"], (peer > 0 ? cpu("large") / peer : 0)
    printf "%-22s %12.2f %14.1f %16.3f\n", "Varmolen no channel", cpu("idle"), mem["idle"], (peer > 0 ? cpu("idle") / peer : 0)
    printf "%-22s %12.2f %14.1f %16s\n", "xoscope (peer)", peer, mem["peer"], "1"
    printf "%-22s %12.2f %14.1f %16.3f\n", "recording alone", cpu("bare"), mem["bare"], (peer > 0 ? cpu("bare") / peer : 0)
    # median of the start-up times
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (ms[j] < ms[i]) { t = ms[i]; ms[i] = ms[j]; ms[j] = t }
    for (i = 1; i <= nw; i++) for (j = i + 1; j <= nw; j++) if (wms[j] < wms[i]) { t = wms[i]; wms[i] = wms[j]; wms[j] = t }
    if (nw > 0)
        printf "\nstart to window on screen: median of %d: %d ms", nw, wms[int((nw + 1) / 2)]
    if (n > 0)
        printf "\nstart to first drawn pass: runs%s ms; median of %d: %d ms\n", line, n, ms[int((n + 1) / 2)]
    for (i = 1; i <= nl; i++) for (j = i + 1; j <= nl; j++) if (lms[j] < lms[i]) { t = lms[i]; lms[i] = lms[j]; lms[j] = t }
    for (i = 1; i <= nf; i++) for (j = i + 1; j <= nf; j++) if (fms[j] < fms[i]) { t = fms[i]; fms[i] = fms[j]; fms[j] = t }
    if (nl > 0)
        printf "start to first drawn pass at Large: runs%s ms; median of %d: %d ms\n", lline, nl, lms[int((nl + 1) / 2)]
    if (nf > 0)
        printf "start to first drawn pass at Fit (1600 x 1100): runs%s ms; median of %d: %d ms\n", fline, nf, fms[int((nf + 1) / 2)]
    if (failed)
        printf "start to first drawn pass: %d of %d runs drew nothing within 5 s\n", failed, runs
    printf "\nCPU %% of one core by thread (threaded-ml: the sound server client library):\n%s", threads
    printf "recording alone: a bare ALSA capture loop with the instrument'"'"'s format, buffering and reads, no\n"
    printf "window: the floor any program recording this server pays, before it shows anything.\n"
    if (have["rec"])
        printf "Varmolen TIME + WAV: the same as Varmolen TIME while File > Record WAV writes a 44100 Hz stereo file;\nthe recording adds %.2f %% of a core (target < 0.2 %%).\n", cpu("rec") - cpu("time")
    printf "Large: %.2f x the CPU of the TIME display at Normal (target <= 1.6)\n", (cpu("time") > 0 ? cpu("large") / cpu("time") : 0)
    printf "strip shown: %+.2f %% of a core in TIME, %+.2f %% in FREQUENCY\n", cpu("timem") - cpu("time"), cpu("freqm") - cpu("freq")
    if (cpu("freqm") > 0) printf "finer than 16 bits (FREQUENCY + strip): 24-bit %.2fx, float %.2fx the 16-bit CPU\n", cpu("freq24") / cpu("freqm"), cpu("freqf") / cpu("freqm")
    printf "targets: CPU < 1 %% of a core and < 0.25 x xoscope in both displays; resident < 80 MiB; first pass < 400 ms;\n"
    printf "the strip adds < 0.1 %% of a core\n"
}' "$work/out"
