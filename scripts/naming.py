#!/usr/bin/env python3
"""What scripts/clang-tidy.sh needs beside clang-tidy itself.

  naming.py sources ROOT BUILD [--all]
      The .cpp files of BUILD/compile_commands.json to check, one a line: the
      product's (outside tests/ and bench/), or with --all every source of the
      repository the build compiles (product, tests, bench). Generated
      sources (moc, autogen) are never among them. Fails when a product .cpp
      of the repository is missing from the database: it would go unchecked.
  naming.py config ROOT
      Checks .clang-tidy itself: HeaderFilterRegex covers every folder that
      holds a product header (a new folder or subfolder needs its entry), and
      no documented name is listed twice. Checks the test and bench files'
      names too: a header is named after what it holds (PascalCase.h), so is
      the source of a support class beside its header; every other source,
      each test program (what_test.cpp) and each script is lower case with
      underscores.
  naming.py keep-product ROOT FIXDIR
      Keeps, in the clang-tidy fix files of FIXDIR, only the renames of names
      declared in product sources (a test's or a bench's own names are left
      as they are), prints what is renamed and writes the renames to
      FIXDIR/renames.tsv (kind, old name, new name).
  naming.py prose ROOT RENAMES
      Renames the functions, methods, members and constants of RENAMES where
      the repository's Markdown quotes them in `code` and where the comments
      of its C++ sources name them: in a comment, a name of two or more words
      (ApplySettings) or one written as a call (Tone()); never a file's name
      (display/DisplayPass.h) and never an ordinary word ("Tone of ...").
"""
import json
import os
import re
import subprocess
import sys
from collections import Counter

NOT_PRODUCT = ("tests/", "bench/")


def tracked(root, *patterns):
    out = subprocess.run(["git", "-C", root, "ls-files", "--", *patterns], check=True, capture_output=True, text=True)
    return [p for p in out.stdout.splitlines() if p]


def is_product(rel):
    return not rel.startswith(NOT_PRODUCT)


def sources(root, build, everything):
    root = os.path.realpath(root)
    build = os.path.realpath(build)
    with open(os.path.join(build, "compile_commands.json")) as f:
        database = json.load(f)
    files = set()
    for entry in database:
        path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
        if not path.startswith(root + os.sep) or path.startswith(build + os.sep):
            continue
        rel = os.path.relpath(path, root)
        if "_autogen" in rel or os.path.basename(rel).startswith(("moc_", "qrc_")):
            continue
        if everything or is_product(rel):
            files.add(rel)
    missing = [p for p in tracked(root, "*.cpp") if is_product(p) and p not in files]
    if missing:
        print("not in %s/compile_commands.json, so not checked: %s" % (build, " ".join(missing)), file=sys.stderr)
        return 1
    for rel in sorted(files):
        print(os.path.join(root, rel))
    return 0


def clang_tidy_text(root):
    with open(os.path.join(root, ".clang-tidy")) as f:
        return f.read()


def config(root):
    text = clang_tidy_text(root)
    bad = 0
    header_filter = re.search(r"^HeaderFilterRegex:\s*'([^']*)'", text, re.M)
    if not header_filter:
        print(".clang-tidy: no HeaderFilterRegex", file=sys.stderr)
        return 1
    # clang-tidy matches the header's path as the compiler opened it, which
    # starts with the repository's own path; a leading / stands for that.
    pattern = re.compile(header_filter.group(1))
    folders = sorted({os.path.dirname(h) for h in tracked(root, "*.h") if is_product(h)})
    uncovered = [d for d in folders if not pattern.search("/%s/X.h" % d)]
    if uncovered:
        print(".clang-tidy: HeaderFilterRegex leaves out the headers in %s/" % "/, ".join(uncovered), file=sys.stderr)
        bad = 1
    # A list's value is a double-quoted scalar whose lines go on with a
    # backslash: "^(\ Name|Name|\ ... )$".
    names = []
    for block in re.findall(r'IgnoredRegexp\s*\n\s*value:\s*"\^\(\\\n(.*?)\\\n\)\$"', text, re.S):
        names += block.replace("\\\n", "").split("|")
    twice = sorted(n for n, c in Counter(names).items() if c > 1)
    if twice:
        print(".clang-tidy: listed more than once: %s" % " ".join(twice), file=sys.stderr)
        bad = 1
    bad |= file_names(root)
    if not bad:
        print("== .clang-tidy: %d documented names, each listed once; header filter covers %s/"
              % (len(names), "/, ".join(folders)))
    return bad


LOWER = re.compile(r"^[a-z][a-z0-9_]*\.(cpp|sh|py)$")
PASCAL = re.compile(r"^[A-Z][A-Za-z0-9]*\.(h|cpp)$")


def file_names(root):
    wrong = []
    for rel in tracked(root, "tests/*", "bench/*"):
        folder, name = os.path.split(rel)
        if not name.endswith((".h", ".cpp", ".sh", ".py")):
            continue
        if name.endswith(".h"):
            ok = PASCAL.match(name)
        elif PASCAL.match(name):
            ok = os.path.exists(os.path.join(root, folder, name[: -len(".cpp")] + ".h"))
        else:
            ok = LOWER.match(name)
        if not ok:
            wrong.append(rel)
    for rel in wrong:
        print("%s: a header or a support class's source is PascalCase.h/.cpp, anything else lower_case" % rel,
              file=sys.stderr)
    return 1 if wrong else 0


FINDING = re.compile(r"invalid case style for (.+) '([^']+)'")


def keep_product(root, fixdir):
    import yaml

    renames = {}
    left = Counter()
    for name in sorted(os.listdir(fixdir)):
        path = os.path.join(fixdir, name)
        if not name.endswith(".yaml"):
            continue
        with open(path) as f:
            content = yaml.safe_load(f)
        if not content:
            continue
        kept = []
        for diag in content.get("Diagnostics", []):
            msg = diag["DiagnosticMessage"]
            decl = os.path.realpath(msg["FilePath"])
            finding = FINDING.search(msg["Message"])
            root_rel = os.path.relpath(decl, os.path.realpath(root))
            if not is_product(root_rel):
                if finding:
                    left[(finding.group(1), finding.group(2), root_rel)] += 1
                continue
            kept.append(diag)
            if finding and msg.get("Replacements"):
                renames[(finding.group(1), finding.group(2))] = msg["Replacements"][0]["ReplacementText"]
        content["Diagnostics"] = kept
        with open(path, "w") as f:
            yaml.safe_dump(content, f)
    with open(os.path.join(fixdir, "renames.tsv"), "w") as f:
        for (kind, old), new in sorted(renames.items()):
            f.write("%s\t%s\t%s\n" % (kind, old, new))
    for (kind, old), new in sorted(renames.items(), key=lambda r: (r[0][1], r[0][0])):
        print("  %-18s %s -> %s" % (kind, old, new))
    print("== %d product names to rename" % len(renames))
    if left:
        print("== %d names declared in tests or bench left as they are:" % len({k[:2] for k in left}))
        for kind, old, where in sorted({(k[0], k[1], k[2]) for k in left}):
            print("  %-18s %s (%s)" % (kind, old, where))
    return 0


PROSE_KINDS = ("function", "method", "member", "constexpr variable", "global constant")


def name_pattern(names):
    # Not part of a path or a file name: no / before, no .h, .cpp or .md after.
    return re.compile(r"(?<![/\w])(%s)(?!\w|\.(?:h|cpp|md)\b)" % "|".join(map(re.escape, names)))


def comment_start(line):
    """Where the line's // comment starts (-1 if none), outside quotes."""
    quote = None
    i = 0
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                i += 1
            elif c == quote:
                quote = None
        elif c in "\"'":
            quote = c
        elif line.startswith("//", i):
            return i
        i += 1
    return -1


def prose(root, renames_path):
    renames = {}
    with open(renames_path) as f:
        for line in f:
            kind, old, new = line.rstrip("\n").split("\t")
            if kind in PROSE_KINDS:
                renames[old] = new
    if not renames:
        return 0
    every = name_pattern(sorted(renames, key=len, reverse=True))

    def rename(match):
        return renames[match.group(1)]

    def rename_in_comment(match):
        # Two words or more, or written as code: a call, a qualified name.
        name, text = match.group(1), match.string
        if (re.search(r"[a-z0-9][A-Z]", name) or text.startswith("(", match.end())
                or text[:match.start()].endswith(("::", ".", "->"))):
            return renames[name]
        return name

    changed = []
    for rel in tracked(root, "*.md"):
        path = os.path.join(root, rel)
        with open(path) as f:
            text = f.read()
        new = re.sub(r"`[^`\n]+`", lambda m: every.sub(rename, m.group(0)), text)
        if new != text:
            with open(path, "w") as f:
                f.write(new)
            changed.append(rel)
    for rel in tracked(root, "*.h", "*.cpp"):
        path = os.path.join(root, rel)
        with open(path) as f:
            lines = f.read().split("\n")
        out = []
        for line in lines:
            at = comment_start(line)
            if at >= 0:
                line = line[:at] + every.sub(rename_in_comment, line[at:])
            out.append(line)
        new = "\n".join(out)
        if new != "\n".join(lines):
            with open(path, "w") as f:
                f.write(new)
            changed.append(rel)
    for rel in changed:
        print("== names renamed in the prose of %s" % rel)
    return 0


def main(argv):
    if len(argv) >= 3 and argv[1] == "sources":
        return sources(argv[2], argv[3], "--all" in argv[4:])
    if len(argv) == 3 and argv[1] == "config":
        return config(argv[2])
    if len(argv) == 4 and argv[1] == "keep-product":
        return keep_product(argv[2], argv[3])
    if len(argv) == 4 and argv[1] == "prose":
        return prose(argv[2], argv[3])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
