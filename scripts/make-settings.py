#!/usr/bin/env python3
"""make-settings.py PATH [--first-picture] [field=value ...]: writes a
Varmolen.cfg of 118 bytes. make-settings.py -h (--help) prints this text.

Starts from a plain base (the start-up values with the gain dials at 50 and
the time base at 100) and changes the named fields, e.g.
    make-settings.py cfg sampleRate=44100 inputSelect=1 chan1Enabled=1
With --first-picture it starts from the file the set-up tool writes instead
(the working first picture on the built-in generator). Values may be decimal
or 0x-hexadecimal. For preparing scenes in scripts and measurements; the
instrument itself writes the file on exit.
"""
import struct
import sys

# (name, struct code, default) in file order; '<' little-endian, packed.
FIELDS = [
    ("chan1Enabled", "B", 0), ("chan2Enabled", "B", 0),
    ("chan1TimeRange", "i", 1), ("chan2TimeRange", "i", 1),
    ("chan1FreqRange", "i", 1), ("chan2FreqRange", "i", 1),
    ("chan1TimeGainDial", "i", 50), ("chan2TimeGainDial", "i", 50),
    ("chan1TimeOffset", "i", 86), ("chan2TimeOffset", "i", 258),
    ("chan1FreqGainDial", "i", 50), ("chan2FreqGainDial", "i", 50),
    ("chan1FreqOffset", "i", 172), ("chan2FreqOffset", "i", 343),
    ("triggerThreshold", "i", 0), ("triggerSlope", "i", 1),
    ("chopMode", "B", 1), ("addChannels", "B", 0), ("displayHold", "B", 0),
    ("singleSweep", "B", 0), ("triggerEnabled", "B", 0),
    ("traceMode", "i", 1), ("sampleRate", "I", 11025), ("timeBaseSetting", "i", 100),
    ("inputSelect", "i", 0), ("displayType", "i", 2), ("backgroundScheme", "i", 1),
    ("triggerChannel", "i", 1), ("chan1Color", "i", 0), ("chan2Color", "i", 0),
    ("marker1Pos", "i", 142), ("marker2Pos", "i", 396),
    ("marker1Enabled", "B", 0), ("marker2Enabled", "B", 0),
    ("osVariant", "i", 1), ("gridEnabled", "B", 1), ("waveDeviceId", "i", 0),
]

# Where the set-up tool's file differs from the base: both channels on at
# gains where the generator's sine and square fit, line input at 44100 Hz,
# triggered on channel 1, red and blue traces.
FIRST_PICTURE = {
    "chan1Enabled": 1, "chan2Enabled": 1, "chan1TimeGainDial": 8, "chan2TimeGainDial": 14,
    "chan1FreqGainDial": 30, "chan2FreqGainDial": 30, "triggerEnabled": 1, "sampleRate": 44100,
    "inputSelect": 1, "chan1Color": 0x0000FF, "chan2Color": 0xFF0000,
}


def main(argv):
    if len(argv) >= 2 and argv[1] in ("-h", "--help"):
        print(__doc__.strip())
        return 0
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    # An option where the file name belongs is a mistake, never a name: a
    # file called "--help" in the working folder helps no one.
    if argv[1].startswith("-"):
        print(f"make-settings.py: {argv[1]!r} is not a file name; the first argument is the settings file to write"
              " (-h for help)", file=sys.stderr)
        return 2
    values = {name: default for name, _, default in FIELDS}
    args = argv[2:]
    if args[:1] == ["--first-picture"]:
        values.update(FIRST_PICTURE)
        args = args[1:]
    for arg in args:
        name, _, text = arg.partition("=")
        if name not in values:
            sys.exit(f"unknown field {name!r}; fields: {', '.join(values)}")
        values[name] = int(text, 0)
    record = struct.pack("<" + "".join(code for _, code, _ in FIELDS), *(values[n] for n, _, _ in FIELDS))
    assert len(record) == 118, len(record)
    with open(argv[1], "wb") as f:
        f.write(record)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
