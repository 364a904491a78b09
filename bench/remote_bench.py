#!/usr/bin/python3
"""remote_bench.py PORT PID: the cost of remote control on the running
instrument (recording 44100 Hz stereo from the sound-server rig).

1. Latency: 1000 MEASure queries one after another; the median and the 99th
   percentile of the time from sending a query to its whole answer, beside
   the time of one block (a buffer of 2048 frames at 44100 Hz).
2. Load: 1000 queries a second for 10 s (paced, each answer read); the blocks
   completed and drawn meanwhile (SYSTem:BLOCks?) against the blocks the rate
   gives, the queries answered, and the instrument's CPU share.
3. Idle: the instrument's CPU share over 10 s with the listener on and no
   client connected, and how often its user-interface thread woke (compare
   with the same run without --remote: a listener nobody talks to must add
   no wake-up, and a share of a core this small is below what the CPU
   figure resolves)."""
import os
import socket
import statistics
import sys
import time

port, pid = int(sys.argv[1]), int(sys.argv[2])
rate = 44100
# At 44100 Hz a buffer holds 2048 frames, of which the display draws 1024.
block_ms = 2048 / rate * 1000
hz = os.sysconf("SC_CLK_TCK")


def cpu_ticks():
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def ui_wakeups():
    # Context switches of the user-interface thread (the process's first).
    with open(f"/proc/{pid}/status") as f:
        counts = [int(line.split(":")[1]) for line in f if "ctxt_switches" in line]
    return sum(counts)


def connect():
    s = socket.create_connection(("127.0.0.1", port), timeout=10)
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s, s.makefile("rb")


def query(s, f, line):
    s.sendall(line.encode() + b"\n")
    return f.readline().decode().strip()


def cpu_share(seconds, during=None):
    t0, w0 = cpu_ticks(), time.monotonic()
    result = during() if during else time.sleep(seconds)
    t1, w1 = cpu_ticks(), time.monotonic()
    return 100.0 * (t1 - t0) / hz / (w1 - w0), result


# Idle first: listening, nobody connected.
time.sleep(3)
w0 = ui_wakeups()
idle, _ = cpu_share(10)
wakeups = (ui_wakeups() - w0) / 10
print(f"idle, listening, no client: {idle:.2f} % of one core over 10 s, user-interface thread woken {wakeups:.1f} times a second")

s, f = connect()
query(s, f, "INP LINE;:ACQ:SRAT 44100;:CHAN1:DISP ON;:CHAN2:DISP ON;:TRIG:STAT ON;*OPC?")
deadline = time.monotonic() + 20
while time.monotonic() < deadline and query(s, f, "MEAS:FREQ? CH1") == "9.91E37":
    time.sleep(0.1)

b0 = [float(x) for x in query(s, f, "SYST:BLOC?").split(",")]
time.sleep(10)
b1 = [float(x) for x in query(s, f, "SYST:BLOC?").split(",")]
baseline = b1[0] - b0[0]
print(f"without queries, 10 s: blocks completed {baseline:.0f}, drawn {b1[1] - b0[1]:.0f} "
      f"(one block every {10000 / baseline:.1f} ms)")

times = []
for _ in range(1000):
    t = time.perf_counter()
    answer = query(s, f, "MEAS:FREQ? CH1")
    times.append((time.perf_counter() - t) * 1000)
times.sort()
median = statistics.median(times)
p99 = times[int(0.99 * len(times)) - 1]
print(f"MEAS:FREQ? CH1 latency over 1000 queries: median {median:.3f} ms, 99th percentile {p99:.3f} ms, "
      f"max {times[-1]:.3f} ms; one block is {block_ms:.1f} ms (p99 = {p99 / block_ms:.3f} blocks); last {answer}")


def load():
    blocks0 = [float(x) for x in query(s, f, "SYST:BLOC?").split(",")]
    start = time.monotonic()
    sent = 0
    slow = 0
    while True:
        now = time.monotonic()
        if now - start >= 10:
            break
        due = start + sent / 1000.0
        if now < due:
            time.sleep(due - now)
        t = time.perf_counter()
        query(s, f, "MEAS:RMS? CH1")
        if (time.perf_counter() - t) * 1000 > block_ms:
            slow += 1
        sent += 1
    blocks1 = [float(x) for x in query(s, f, "SYST:BLOC?").split(",")]
    return sent, slow, blocks1[0] - blocks0[0], blocks1[1] - blocks0[1], time.monotonic() - start


share, (sent, slow, completed, drawn, wall) = cpu_share(0, load)
expected = wall * rate / 2048
print(f"load: {sent} queries in {wall:.1f} s ({sent / wall:.0f}/s), {slow} answered later than one block; "
      f"blocks completed {completed:.0f}, drawn {drawn:.0f}, the rate gives {expected:.0f}; "
      f"instrument CPU {share:.1f} % of one core")
s.close()
