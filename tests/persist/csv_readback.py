#!/usr/bin/env python3
"""csv_readback.py PROBE: runs the Export Data probe under a German locale
(decimal comma), reads the CSV files it wrote with Python's csv module and
compares every number with what the probe drew.

The locale de_DE.UTF-8 is made in a private folder with localedef when the
system has none (the Debian package `locales` carries its sources); without
them the run only has the toolkit's German default, and says so."""
import csv
import json
import math
import os
import subprocess
import sys
import tempfile

probe = sys.argv[1]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def german_locale(work):
    env = dict(os.environ)
    have = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.lower()
    if "de_de.utf8" not in have and "de_de.utf-8" not in have:
        made = subprocess.run(["localedef", "-i", "de_DE", "-f", "UTF-8", os.path.join(work, "de_DE.UTF-8")],
                              capture_output=True, text=True)
        if made.returncode not in (0, 1) or not os.path.isdir(os.path.join(work, "de_DE.UTF-8")):
            print("note: no de_DE.UTF-8 locale could be made; only the toolkit's German default is in force")
            return env, False
        env["LOCPATH"] = work
    env["LC_ALL"] = "de_DE.UTF-8"
    return env, True


def read(path):
    with open(path, "rb") as f:
        raw = f.read()
    check(raw.endswith(b"\r\n") and raw.count(b"\r\n") == raw.count(b"\n"), f"{path}: every line ends with CR LF")
    raw.decode("utf-8")  # must be UTF-8
    with open(path, newline="", encoding="utf-8") as f:
        return list(csv.reader(f))


with tempfile.TemporaryDirectory() as work:
    env, localeMade = german_locale(work)
    out = os.path.join(work, "out")
    os.mkdir(out)
    run = subprocess.run([probe, out], env=env, capture_output=True, text=True, timeout=60)
    print(run.stdout + run.stderr, end="")
    if run.returncode != 0:
        print("FAIL: the probe ended with", run.returncode)
        sys.exit(1)
    with open(os.path.join(out, "expect.json")) as f:
        expect = json.load(f)
    check(expect["qtDecimalPoint"] == ",", "the toolkit's default locale writes a decimal comma")
    if localeMade:
        check(expect["decimalPoint"] == ",", "the C library's locale writes a decimal comma")

    # TIME: the held picture's samples, exactly: the span the display shows
    # from the trace start (the trigger point), and the whole block.
    t = expect["time"]
    start, (off1, off2), rate = t["traceStart"], t["dcOffset"], t["rate"]
    check(0 < start < 512, f"the probe's trace is triggered (trace start {start})")
    for name, first, count, origin in (("time.csv", start, t["span"] + 1, "trace start"),
                                       ("time-block.csv", 0, 1024, "the block's first sample")):
        rows = read(os.path.join(out, name))
        check(rows[0] == [f"Time (ms; 0 = {origin}; {rate} Hz)",
                          f"Channel 1 raw (trace start: sample {start})", "Channel 1 as drawn", "Channel 1 (V)",
                          f"Channel 2 raw (trace start: sample {start})", "Channel 2 as drawn",
                          "Channel 2 (% of full scale)"], f"{name} header {rows[0]}")
        check(len(rows) == 1 + count, f"{name} rows {len(rows)}, not {1 + count}")
        for i, row in enumerate(rows[1:]):
            c1, c2 = t["chan1"][first + i], t["chan2"][first + i]
            want = [i * 1000.0 / rate, c1 + off1, c1, (c1 + off1) * 2.5 / 32767, c2 + off2, c2,
                    (c2 + off2) * 100.0 / 32767]
            got = [float(row[0]), int(row[1]), int(row[2]), float(row[3]), int(row[4]), int(row[5]), float(row[6])]
            if got != want:
                check(False, f"{name} row {i}: {row} is not {want}")
                break
    # The span's ends are the axis labels' ends (which truncate to hundredths).
    rows = read(os.path.join(out, "time.csv"))
    for row, label in ((rows[1], t["leftLabel"]), (rows[-1], t["rightLabel"])):
        check(0 <= float(row[0]) - label / 100 < 0.02, f"row at {row[0]} ms, label at {label / 100} ms")

    # FREQUENCY: the averaged tone levels, and the drawn curve.
    sp = expect["spectrum"]
    rows = read(os.path.join(out, "spectrum.csv"))
    kind = "(dBFS, average of 4)"
    check(rows[0] == ["Frequency (Hz)", f"Channel 1 level {kind}", f"Channel 1 as drawn {kind}",
                      f"Channel 2 level {kind}", f"Channel 2 as drawn {kind}"], f"spectrum header {rows[0]}")
    check(len(rows) == 1 + 511, f"spectrum rows {len(rows)}")
    data = [[float(x) for x in r] for r in rows[1:]]
    for k, r in enumerate(data, start=1):
        if r[0] != k * sp["rate"] / 1024:
            check(False, f"bin {k} at {r[0]} Hz")
            break
    mean_square = sum(a * a for a in sp["amplitudes"]) / len(sp["amplitudes"])
    for column, bin_, scale in ((1, sp["bins"][0], 1.0), (3, sp["bins"][1], 0.5)):
        want = 10 * math.log10(mean_square * scale * scale) - 20 * math.log10(32767)
        got = data[bin_ - 1][column]
        check(abs(got - want) < 0.05, f"column {column}: tone at bin {bin_} reads {got:.3f} dBFS, not {want:.3f}")
        loudest = max(range(len(data)), key=lambda i: data[i][column]) + 1
        check(loudest == bin_, f"column {column}: the loudest bin is {loudest}, not {bin_}")
    full_scale = 20 * math.log10(32767 * sp["windowSum"] / 2)
    off = 0
    for k in range(1, 512):
        row = min(int((data[k - 1][4] + full_scale) * math.log(10)), sp["chan2Offset"])
        off = max(off, abs(row - sp["chan2Drawn"][k]))
    check(off <= 1, f"channel 2 as drawn is {off} rows from the display's trace")

print(f"{len(failures)} failures")
sys.exit(1 if failures else 0)
