#!/usr/bin/env python3
"""layer_rules.py REPO [includes|sizes]: the product's folders keep to the
layers that docs/ARCHITECTURE.md describes.

includes: reads the table under "## The layers" (folder, what it holds, what
it may include, toolkit) and checks every source file of every product
folder: a quoted include with a folder in its path names the file's own
folder or one its row allows; a folder whose row says "no toolkit" includes
no Qt header; every folder with sources has a row. "every folder above"
allows the folders of the rows before; "nothing" allows none.

sizes: no product source file is longer than 600 lines, so that a reader
takes each in whole.

Exits 1 and lists every break found; there is no list of exceptions.
"""
import os
import re
import subprocess
import sys

MAX_LINES = 600
NOT_PRODUCT = {"tests", "bench", "docs", "packaging", "scripts"}
SOURCE = re.compile(r"\.(h|cpp)$")
QUOTED = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
ANGLED = re.compile(r"^\s*#\s*include\s+<([^>]+)>", re.M)
QT_HEADER = re.compile(r"^Q[A-Za-z]|^Qt[A-Za-z]*/")


def product_sources(repo):
    files = subprocess.run(["git", "-C", repo, "ls-files"], check=True, capture_output=True, text=True).stdout.split()
    out = {}
    for f in files:
        if "/" in f and SOURCE.search(f) and f.split("/")[0] not in NOT_PRODUCT:
            out.setdefault(f.split("/")[0], []).append(f)
    return out


def read_rules(repo):
    text = open(os.path.join(repo, "docs", "ARCHITECTURE.md"), encoding="utf-8").read()
    section = text.split("## The layers", 1)[1].split("\n## ", 1)[0]
    rules, order = {}, []
    for line in section.splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) != 4 or not cells[0].startswith("`"):
            continue
        folder = cells[0].strip("`").rstrip("/")
        may = cells[2]
        if may == "nothing":
            allowed = set()
        elif may.startswith("every folder above"):
            allowed = set(order)
        else:
            allowed = {m.strip().strip("`").rstrip("/") for m in may.split(",")}
        rules[folder] = (allowed, cells[3] == "no toolkit")
        order.append(folder)
    return rules, order


def check_includes(repo):
    rules, order = read_rules(repo)
    breaks = []
    if not rules:
        return ["docs/ARCHITECTURE.md: no table of layers under \"## The layers\""]
    for folder, files in sorted(product_sources(repo).items()):
        if folder not in rules:
            breaks.append(f"{folder}/: has sources but no row in the table of layers")
            continue
        allowed, no_toolkit = rules[folder]
        for f in files:
            text = open(os.path.join(repo, f), encoding="utf-8", errors="replace").read()
            for inc in QUOTED.findall(text):
                if "/" not in inc:
                    continue  # beside the file itself (generated or local)
                target = inc.split("/")[0]
                if target != folder and target not in allowed:
                    breaks.append(f"{f}: includes {inc} ({folder}/ may include {', '.join(sorted(allowed)) or 'nothing'})")
            if no_toolkit:
                for inc in ANGLED.findall(text):
                    if QT_HEADER.match(inc):
                        breaks.append(f"{f}: includes <{inc}>, but {folder}/ uses no toolkit")
    return breaks


def check_sizes(repo):
    breaks = []
    for files in product_sources(repo).values():
        for f in files:
            with open(os.path.join(repo, f), encoding="utf-8", errors="replace") as h:
                n = sum(1 for _ in h)
            if n > MAX_LINES:
                breaks.append(f"{f}: {n} lines (at most {MAX_LINES})")
    return breaks


def main():
    repo, what = sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else "includes"
    breaks = check_includes(repo) if what == "includes" else check_sizes(repo)
    count = sum(len(v) for v in product_sources(repo).values())
    print(f"{count} product sources checked ({what}), {len(breaks)} breaks")
    for b in sorted(breaks):
        print("break:", b)
    sys.exit(1 if breaks else 0)


if __name__ == "__main__":
    main()
