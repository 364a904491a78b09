#!/usr/bin/python3
"""remote_pyvisa.py PORT [tones|generator]: drives the running instrument
through PyVISA's socket resource, as a test bench does. With `tones` (the
default) it sets the channels and the trigger, reads the frequency and level
of the rig's known tones, fetches a waveform and checks its samples, fetches
a PNG, and reads the error queue after bad commands; the rig plays a 1 kHz
sine at half scale on channel 1 and a 250 Hz square on channel 2. With
`generator` the rig is a loopback: it plays the instrument's signal generator
into its own input, reads the tone back, and runs a response sweep through
the loopback. Prints PASS lines; exits 1 when a check failed."""
import math
import sys
import time

import pyvisa

port = int(sys.argv[1])
mode = sys.argv[2] if len(sys.argv) > 2 else "tones"
failures = 0


def check(ok, what):
    global failures
    print(("PASS: " if ok else "FAIL: ") + what)
    if not ok:
        failures += 1


rm = pyvisa.ResourceManager("@py")
inst = rm.open_resource(f"TCPIP::127.0.0.1::{port}::SOCKET", read_termination="\n", write_termination="\n",
                        timeout=10000)
idn = inst.query("*IDN?").split(",")
check(idn[:3] == ["Varmolen", "Varmolen", "0"], f"*IDN? names the instrument: {idn}")


def reading(query, low, high, seconds=20):
    """Polls a query until its number lies in [low, high]; returns the last."""
    deadline = time.monotonic() + seconds
    value = float("nan")
    while time.monotonic() < deadline:
        value = float(inst.query(query))
        if low <= value <= high:
            break
        time.sleep(0.2)
    return value


def generator_loopback():
    """The generator played into the input: its tone read back, then a sweep."""
    inst.write("INP LINE;:ACQ:SRAT 44100;:CHAN1:DISP ON")
    inst.write("SOUR:FUNC SIN;FREQ 997;LEV -6;CHAN BOTH;INV OFF;:OUTP ON")
    check(inst.query("OUTP?;:SOUR:FREQ?;LEV?") == "1;997;-6", "the generator plays as set")
    f = reading("MEAS:FREQ? CH1", 996.5, 997.5)
    check(996.5 <= f <= 997.5, f"channel 1 reads the generator's 997 Hz: {f} Hz")
    level = reading("MEAS:RMS:DBFS? CH1", -6.1, -5.9)
    check(-6.1 <= level <= -5.9, f"and its level of -6 dBFS: {level}")
    # *OPC? answers once the readings follow: the next reading is of the
    # change, at once.
    check(inst.query("SOUR:FREQ 3000;*OPC?") == "1", "*OPC? answers after a new frequency")
    f = float(inst.query("MEAS:FREQ? CH1"))
    check(2998.5 <= f <= 3001.5, f"the reading after it is of the new frequency: {f} Hz")
    check(inst.query("ACQ:SRAT 48000;*OPC?") == "1", "*OPC? answers after a new sample rate")
    f = float(inst.query("MEAS:FREQ? CH1"))
    check(2998.5 <= f <= 3001.5, f"the reading after it is of the new rate's blocks: {f} Hz")
    # A new waveform at the same pitch and level: its THD reads its own
    # steady value from the first reading on, not an average drifting there.
    check(inst.query("SOUR:FUNC SQU;*OPC?;:SOUR:FUNC TRI;*OPC?") == "1;1", "*OPC? answers after a new waveform")
    started = time.monotonic()
    first = float(inst.query("MEAS:THD:DB? CH1"))
    time.sleep(max(0.0, 1.0 - (time.monotonic() - started)))
    second = float(inst.query("MEAS:THD:DB? CH1"))
    time.sleep(3.0)
    steady = float(inst.query("MEAS:THD:DB? CH1"))
    check(abs(first - steady) <= 0.1 and abs(second - steady) <= 0.1,
          f"the triangle's THD reads {first:.2f} at once and {second:.2f} a second later, "
          f"{steady:.2f} dB after four seconds")
    inst.write("SOUR:FUNC SIN;:ACQ:SRAT 44100")
    inst.write("OUTP OFF;:SWE:STAR 500;STOP 2000;STEP 1;LEV -10;CHAN CH1;:SWE:RUN")
    deadline = time.monotonic() + 30
    state = inst.query("SWE:STAT?")
    while state.startswith("1") and time.monotonic() < deadline:
        time.sleep(0.2)
        state = inst.query("SWE:STAT?")
    check(state == "0,3,3", f"the sweep ran its three steps: {state}")
    rows = inst.query_ascii_values("SWE:DATA?")
    steps = [rows[i:i + 5] for i in range(0, len(rows), 5)]
    check([round(r[0]) for r in steps] == [500, 1000, 2000], f"at 500, 1000 and 2000 Hz: {steps}")
    check(all(abs(r[1] + 10) < 0.3 and abs(r[2]) < 0.3 for r in steps), "each reads -10 dBFS, flat")
    codes = inst.query("SYST:ERR?")
    check(codes.startswith("0,"), f"no errors: {codes}")
    check(inst.query("OUTP?") == "0", "the generator is off again after the sweep")
    deep_memory_span()


def sine_fit_residual(samples, rate, f0):
    """The RMS of what a sine (frequency, amplitude, phase and DC fitted by
    least squares, the frequency searched near f0) leaves of the samples."""
    n = len(samples)

    def residual(f):
        w = 2 * math.pi * f / rate
        s = [math.sin(w * i) for i in range(n)]
        c = [math.cos(w * i) for i in range(n)]
        # The normal equations of samples ~ a s + b c + d.
        m = [[sum(x * y for x, y in zip(u, v)) for v in (s, c)] + [sum(u)] for u in (s, c)]
        m.append([sum(s), sum(c), n])
        r = [sum(x * y for x, y in zip(u, samples)) for u in (s, c)] + [sum(samples)]
        for k in range(3):  # Gauss-Jordan; the matrix is well conditioned over whole periods
            for j in range(3):
                if j != k:
                    q = m[j][k] / m[k][k]
                    m[j] = [a - q * b for a, b in zip(m[j], m[k])]
                    r[j] -= q * r[k]
        a, b, d = (r[k] / m[k][k] for k in range(3))
        return math.sqrt(sum((x - a * u - b * v - d) ** 2 for x, u, v in zip(samples, s, c)) / n)

    low, high = f0 * 0.998, f0 * 1.002
    for _ in range(24):  # golden-section search of the frequency
        m1, m2 = high - (high - low) * 0.618, low + (high - low) * 0.618
        if residual(m1) < residual(m2):
            high = m2
        else:
            low = m1
    return residual((low + high) / 2)


def deep_memory_span():
    """A slow tone through the loopback: DIGitize holds a 1 s span of the
    record, WAV:DATA? sends all 44100 samples of it, and a sine fit leaves
    only the 16-bit noise, so no sample is missing. A take the sound server
    broke (its player ran dry) is taken again, up to three times."""
    inst.write("SOUR:FUNC SIN;FREQ 37;LEV -6;CHAN BOTH;:OUTP ON;:ACQ:SRAT 44100")
    f = reading("MEAS:FREQ? CH1", 36.9, 37.1)
    check(36.9 <= f <= 37.1, f"channel 1 reads the slow tone: {f} Hz")
    inst.write("TRIG:STAT OFF;:TIM:SCAL 100ms;MODE MAIN;:WAV:SOUR CH1;FORM WORD;POIN MAX")
    check(inst.query("TIM:SCAL?;MODE?") == "0.1;MAIN", "100 ms a division, triggered mode")
    fits = []
    for _ in range(3):
        check(inst.query("DIG;*OPC?") == "1", "*OPC? answers once the digitized span is held")
        points = inst.query("ACQ:POIN?;:WAV:PRE?").split(";")
        samples = inst.query_binary_values("WAV:DATA?", datatype="h", is_big_endian=False, container=list)
        fits.append(sine_fit_residual(samples, 44100, 37.0))
        if fits[-1] < 1.0:
            break
        time.sleep(2)
    check(points[0] == "44100" and points[1].startswith("44100,2.267573696E-05,"), f"a span of 1 s: {points}")
    check(len(samples) == 44100 and max(samples) > 15000 and min(samples) < -15000,
          f"WAV:DATA? sends all of it: {len(samples)} samples, peaks {max(samples)}, {min(samples)}")
    check(fits[-1] < 1.0, f"a sine fit leaves only the 16-bit noise: {', '.join(f'{r:.2f}' for r in fits)} codes RMS")
    inst.write("RUN;:TIM:SCAL DEF;:TRIG:STAT ON;:OUTP OFF")


if mode == "generator":
    generator_loopback()
    inst.close()
    sys.exit(1 if failures else 0)

inst.write("INP LINE;:ACQ:SRAT 44100;:CHAN1:DISP ON;:CHAN2:DISP ON;:CHAN1:GAIN 60;:CHAN1:RANG 1")
inst.write("TRIG:STAT ON;SOUR CH1;SLOP POS;MODE CHOP;DET SIN;LEV 0")
settings = inst.query("INP?;:ACQ:SRAT?;:CHAN1:DISP?;:CHAN2:DISP?;:CHAN1:GAIN?;:TRIG:STAT?;SOUR?;SLOP?;LEV?")
check(settings == "LINE;44100;1;1;60;1;CH1;POS;0", f"the settings read back: {settings}")


f1 = reading("MEAS:FREQ? CH1", 999.0, 1001.0)
check(999.0 <= f1 <= 1001.0, f"channel 1 reads 1 kHz: {f1} Hz")
rms = reading("MEAS:RMS? CH1", 48.0, 52.0)
check(48.0 <= rms <= 52.0, f"channel 1's RMS is half of full scale: {rms} %")
dbfs = float(inst.query("MEAS:RMS:DBFS? CH1"))
check(-6.4 <= dbfs <= -5.6, f"channel 1's RMS in dBFS: {dbfs}")
f2 = reading("MEAS:FREQ? CH2", 249.0, 251.0)
check(249.0 <= f2 <= 251.0, f"channel 2 reads 250 Hz: {f2} Hz")

inst.write("WAV:SOUR CH1")
try:
    samples = inst.query_binary_values("WAV:DATA?", datatype="h", is_big_endian=False, container=list)
except pyvisa.errors.VisaIOError:
    print("FAIL: no waveform; the instrument says", inst.query("SYST:ERR?"), inst.query("TRIG:STAT?;:HOLD?;:SING?"))
    sys.exit(1)
check(len(samples) == 1024, f"a waveform of 1024 samples: {len(samples)}")
peak, trough = max(samples), min(samples)
check(14000 <= peak <= 18000 and -18000 <= trough <= -14000, f"its peaks are at half scale: {peak}, {trough}")
mean = sum(samples) / len(samples)
rising = sum(1 for a, b in zip(samples, samples[1:]) if a < mean <= b)
check(21 <= rising <= 25, f"it holds 1024 / 44.1 periods of 1 kHz: {rising} rising crossings")
preamble = inst.query("WAV:PRE?").split(",")
check(preamble[0] == "1024" and preamble[4] == "44100" and preamble[5] == "CH1", f"the preamble: {preamble}")

png = inst.query_binary_values("DISP:DATA?", datatype="B", container=bytes)
check(png[:8] == b"\x89PNG\r\n\x1a\n" and len(png) > 1000, f"the display as a PNG of {len(png)} bytes")
window = inst.query_binary_values("DISP:DATA? WIND", datatype="B", container=bytes)
check(window[:4] == b"\x89PNG" and len(window) > len(png), f"the window as a PNG of {len(window)} bytes")

inst.write("FOO:BAR")
inst.write("CHAN1:GAIN 500")
inst.write("CHAN9:GAIN 1")
inst.write("TRIG:SLOP")
codes = [int(inst.query("SYST:ERR?").split(",")[0]) for _ in range(5)]
check(codes == [-113, -222, -114, -109, 0], f"the error queue after bad commands: {codes}")
check(inst.query("CHAN1:GAIN?") == "60", "the bad commands changed nothing")

inst.close()
sys.exit(1 if failures else 0)
