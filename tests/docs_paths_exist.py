#!/usr/bin/env python3
"""docs_paths_exist.py REPO: every repository path or source file name that
README.md, CONTRIBUTING.md and docs/*.md name exists in the repository.

A path counts when it begins with one of the repository's own folders or
top-level files (`app/...`, `tests/e2e/drive_window.sh`, `CONTRIBUTING.md`);
a bare file name counts when it has a source or script ending (`Raster.h`,
`pulse_rig.sh`) and must then exist somewhere in the tree. Addresses, paths
of a user's machine or of an installation (`~/.config/...`, `share/...`),
build outputs (`build/...`) and files the program makes at run time
(`Varmolen.cfg`) are not repository paths and are passed over.
"""
import os
import re
import subprocess
import sys

repo = sys.argv[1]
files = subprocess.run(["git", "-C", repo, "ls-files"], check=True, capture_output=True, text=True).stdout.split()
tracked = set(files)
folders = {f.split("/")[0] for f in files if "/" in f}
tops = {f for f in files if "/" not in f}
basenames = {os.path.basename(f) for f in files}
for f in files:  # every folder on the way is a path too
    parts = f.split("/")
    for i in range(1, len(parts)):
        tracked.add("/".join(parts[:i]))

SOURCE_ENDINGS = (".cpp", ".h", ".sh", ".py", ".md", ".html", ".cmake", ".svg", ".desktop")
# A path, possibly ending in a wildcard (`tests/persist/config_file_*`).
TOKEN = re.compile(r"[A-Za-z0-9_.\-]+(?:/[A-Za-z0-9_.\-]+)*/?\*?")

documents = [os.path.join(repo, d) for d in ("README.md", "CONTRIBUTING.md") if os.path.exists(os.path.join(repo, d))]
docs_dir = os.path.join(repo, "docs")
documents += sorted(os.path.join(docs_dir, d) for d in os.listdir(docs_dir) if d.endswith(".md"))

missing = []
checked = 0
for document in documents:
    text = open(document, encoding="utf-8").read()
    # Inline code and link targets are where paths are written.
    spans = re.findall(r"`([^`\n]+)`", text) + re.findall(r"\]\(([^)\s]+)\)", text)
    for span in spans:
        for token in TOKEN.findall(span):
            wildcard = token.endswith("*")
            token = token.rstrip("*").rstrip(".").rstrip("/")
            if not token or token.startswith(("http", "www.")) or token.startswith(".") and "/" not in token:
                continue
            first = token.split("/")[0]
            if "/" in token and first in folders:
                checked += 1
                found = any(t.startswith(token) for t in tracked) if wildcard else token in tracked
                if not found:
                    missing.append((document, token + ("*" if wildcard else "")))
            elif "/" not in token and (token in tops or token.endswith(SOURCE_ENDINGS)):
                checked += 1
                if token not in basenames:
                    missing.append((document, token))

print(f"{len(documents)} documents, {checked} repository paths and file names checked, {len(missing)} missing")
for document, token in missing:
    print(f"missing: {os.path.relpath(document, repo)} names {token}")
sys.exit(1 if missing or checked == 0 else 0)
