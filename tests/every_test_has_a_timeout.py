#!/usr/bin/env python3
"""every_test_has_a_timeout.py CTEST BUILD_DIR: fails, naming them, when a test
of the build has no TIMEOUT property that CTest applies (as listed by
`ctest --show-only=json-v1`)."""
import json
import subprocess
import sys

ctest, build = sys.argv[1], sys.argv[2]
listing = subprocess.run([ctest, "--test-dir", build, "--show-only=json-v1"],
                         check=True, capture_output=True, text=True).stdout
tests = json.loads(listing)["tests"]
missing = [t["name"] for t in tests
           if not any(p["name"] == "TIMEOUT" and p["value"] > 0 for p in t.get("properties", []))]
print(f"{len(tests)} tests, {len(missing)} without a timeout")
for name in missing:
    print("no timeout:", name)
sys.exit(1 if missing or not tests else 0)
