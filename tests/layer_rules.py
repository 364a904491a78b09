#!/usr/bin/env python3
"""layer_rules.py REPO [includes|sizes]: the product's folders keep to the
layers that docs/ARCHITECTURE.md describes.

includes: reads the table under "## The layers" (folder, what it holds, what
it may include, toolkit) and checks every source file of every product
folder: a quoted include with a folder in its path names the file's own
layer or one its row allows; a layer whose row says "no toolkit" includes
no Qt header; every folder with sources has a row. "every folder above"
allows the layers of the rows before; "nothing" allows none. A row may name
a subfolder (`remote/net/`): it is a layer of its own, and governs the files
in it and the includes of them, where the row of its parent folder does not.
A layer whose toolkit reads "Qt Core and Network only" (Qt modules joined by
"and") includes no header written with another module's folder
(<QtWidgets/QWidget>); its library links only those modules, so the build
finds no other module's header written without one.

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
QT_MODULE_HEADER = re.compile(r"^(Qt[A-Za-z]+)/")
QT_MODULES_ONLY = re.compile(r"^Qt (\w+(?: and \w+)*) only$")


def product_sources(repo):
    files = subprocess.run(["git", "-C", repo, "ls-files"], check=True, capture_output=True, text=True).stdout.split()
    out = {}
    for f in files:
        if "/" in f and SOURCE.search(f) and f.split("/")[0] not in NOT_PRODUCT:
            out.setdefault(f.split("/")[0], []).append(f)
    return out


def layer_of(path, rules):
    """The row that governs a file or an included path: the longest folder of
    the table the path lies in, or None."""
    parts = path.split("/")[:-1]
    for n in range(len(parts), 0, -1):
        folder = "/".join(parts[:n])
        if folder in rules:
            return folder
    return None


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
        modules = QT_MODULES_ONLY.match(cells[3])
        only = {"Qt" + m for m in modules.group(1).split(" and ")} if modules else None
        rules[folder] = (allowed, cells[3] == "no toolkit", only)
        order.append(folder)
    return rules, order


def check_includes(repo):
    rules, order = read_rules(repo)
    breaks = []
    if not rules:
        return ["docs/ARCHITECTURE.md: no table of layers under \"## The layers\""]
    for top, files in sorted(product_sources(repo).items()):
        for f in files:
            folder = layer_of(f, rules)
            if folder is None:
                breaks.append(f"{top}/: has sources but no row in the table of layers")
                break
            allowed, no_toolkit, only = rules[folder]
            text = open(os.path.join(repo, f), encoding="utf-8", errors="replace").read()
            for inc in QUOTED.findall(text):
                if "/" not in inc:
                    continue  # beside the file itself (generated or local)
                target = layer_of(inc, rules) or inc.split("/")[0]
                if target != folder and target not in allowed:
                    breaks.append(f"{f}: includes {inc} ({folder}/ may include {', '.join(sorted(allowed)) or 'nothing'})")
            if no_toolkit:
                for inc in ANGLED.findall(text):
                    if QT_HEADER.match(inc):
                        breaks.append(f"{f}: includes <{inc}>, but {folder}/ uses no toolkit")
            if only:
                for inc in ANGLED.findall(text):
                    module = QT_MODULE_HEADER.match(inc)
                    if module and module.group(1) not in only:
                        breaks.append(f"{f}: includes <{inc}>, but {folder}/ uses {', '.join(sorted(only))} only")
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
