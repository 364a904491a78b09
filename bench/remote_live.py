#!/usr/bin/env python3
"""remote_live.py PORT [ROUNDS]: how the running instrument keeps remote
control's bounds live, as a hostile client and a patient one meet it.

1. A line beyond the bounds (1000 x DISP:DATA? WIND) is refused: the time
   from sending it to the -223 in the error queue, and the blocks drawn
   meanwhile (none of the line runs).
2. A long line within them (window pictures up to 12 MiB of answers): how
   long it takes, how long a second client waits for *IDN? meanwhile
   (median and longest of asks every 20 ms), and the blocks drawn while it
   is worked through.
Medians over ROUNDS rounds (default 5).
"""
import socket
import statistics
import sys
import threading
import time


def connect(port):
    s = socket.create_connection(("127.0.0.1", port))
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s


def read_line(s, buffer):
    while b"\n" not in buffer[0]:
        chunk = s.recv(1 << 20)
        if not chunk:
            raise ConnectionError("the instrument closed the connection")
        buffer[0] += chunk
    line, _, rest = buffer[0].partition(b"\n")
    buffer[0] = rest
    return line.decode("latin-1")


def ask(s, buffer, line):
    s.sendall(line.encode() + b"\n")
    return read_line(s, buffer)


def blocks_drawn(s, buffer):
    return int(float(ask(s, buffer, "SYST:BLOC?").split(",")[1]))


def read_pictures(s, count, last=False):
    """Reads `count` definite-length blocks and the *IDN? after them; with
    `last`, the blocks end the answer. Returns the last block read with its
    header, or the tail after them."""
    data = b""
    block = b""
    for _ in range(count):
        while len(data) < 2:
            data += s.recv(1 << 20)
        digits = int(data[1:2])
        while len(data) < 2 + digits:
            data += s.recv(1 << 20)
        length = int(data[2 : 2 + digits])
        end = 2 + digits + length + 1  # the block and the ';' (or newline) after it
        while len(data) < end:
            data += s.recv(1 << 20)
        block, data = data[: end - 1], data[end:]
    if last:
        return block
    while b"\n" not in data:
        data += s.recv(1 << 20)
    return data


def main():
    port = int(sys.argv[1])
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    heavy, patient = connect(port), connect(port)
    hb, pb = [b""], [b""]
    ask(heavy, hb, "*CLS;*IDN?")
    refusals, refused_drawn = [], []
    for _ in range(rounds):
        before = blocks_drawn(patient, pb)
        start = time.monotonic()
        heavy.sendall(("DISP:DATA? WIND;" * 1000 + "*IDN?\n").encode())
        error = ask(heavy, hb, "SYST:ERR?")
        refusals.append(1000 * (time.monotonic() - start))
        assert error.startswith("-223"), error
        refused_drawn.append(blocks_drawn(patient, pb) - before)
    print(f"a line of 1000 x DISP:DATA? WIND refused with -223 in {statistics.median(refusals):.1f} ms "
          f"(longest {max(refusals):.1f} ms), none of it run")

    heavy.sendall(b"DISP:DATA? WIND\n")
    size = len(read_pictures(heavy, 1, last=True))
    pictures = max(1, min(63, (12 << 20) // size))
    line_times, waits, drawn = [], [], []
    for _ in range(rounds):
        latencies = []
        done = threading.Event()

        def keep_asking():
            while not done.is_set():
                t = time.monotonic()
                answer = ask(patient, pb, "*IDN?")
                assert answer.startswith("Varmolen,"), answer
                latencies.append(1000 * (time.monotonic() - t))
                time.sleep(0.02)

        before = blocks_drawn(patient, pb)
        asker = threading.Thread(target=keep_asking)
        start = time.monotonic()
        heavy.sendall(("DISP:DATA? WIND;" * pictures + "*IDN?\n").encode())
        asker.start()
        tail = read_pictures(heavy, pictures)
        line_times.append(1000 * (time.monotonic() - start))
        done.set()
        asker.join()
        assert b"Varmolen," in tail, tail[:80]
        drawn.append(blocks_drawn(patient, pb) - before)
        waits.extend(latencies)
    print(f"a line of {pictures} window pictures ({size // 1024} KiB each) took "
          f"{statistics.median(line_times):.0f} ms; meanwhile another client's *IDN? waited "
          f"{statistics.median(waits):.1f} ms (median of {len(waits)}), {max(waits):.1f} ms at most, "
          f"and {statistics.median(drawn):.0f} blocks were drawn")


if __name__ == "__main__":
    main()
