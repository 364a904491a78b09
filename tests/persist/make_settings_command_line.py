#!/usr/bin/env python3
"""make_settings_command_line.py SCRIPT: the scripts' settings writer answers
-h and --help with its usage, and never takes an option for the file to
write: each case runs SCRIPT in an empty folder and checks the exit code,
where the usage or the message went, and which files were left there.
"""
import os
import subprocess
import sys
import tempfile

script = os.path.abspath(sys.argv[1])

# (arguments, exit code, text on stdout, text on stderr, files left)
CASES = [
    (["--help"], 0, "make-settings.py PATH", "", []),
    (["-h"], 0, "--first-picture", "", []),
    ([], 2, "", "make-settings.py PATH", []),
    (["--first-picture"], 2, "", "'--first-picture' is not a file name", []),
    (["-x.cfg", "chan1Enabled=1"], 2, "", "'-x.cfg' is not a file name", []),
    (["--", "chan1Enabled=1"], 2, "", "'--' is not a file name", []),
    (["out.cfg", "--first-picture", "chan2Enabled=0"], 0, "", "", ["out.cfg"]),
]

failures = 0
for args, code, out, err, files in CASES:
    with tempfile.TemporaryDirectory() as folder:
        run = subprocess.run([sys.executable, script, *args], cwd=folder, capture_output=True, text=True, timeout=30)
        left = sorted(os.listdir(folder))
        problems = []
        if run.returncode != code:
            problems.append(f"exit code {run.returncode}, not {code}")
        if out and out not in run.stdout or not out and run.stdout:
            problems.append(f"stdout {run.stdout!r}")
        if err and err not in run.stderr or not err and run.stderr:
            problems.append(f"stderr {run.stderr!r}")
        if left != files:
            problems.append(f"files left {left}, not {files}")
        if left == ["out.cfg"] and os.path.getsize(os.path.join(folder, "out.cfg")) != 118:
            problems.append("the written record is not 118 bytes")
        print(("FAIL" if problems else "ok") + f": make-settings.py {' '.join(args)}" +
              (": " + "; ".join(problems) if problems else ""))
        failures += bool(problems)
sys.exit(1 if failures else 0)
