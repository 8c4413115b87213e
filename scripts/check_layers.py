#!/usr/bin/env python3
"""Checks that every #include in src/ and apps/ points down the layers:

    apps -> control -> display -> model + codecs -> platform

platform/ole and platform/window build on the platform alone, Qt appears only in platform/qt and
the apps, and the document's header includes no codec header. Prints every line that breaks a
rule and exits 1 if there is one."""
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
include = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')

# What each folder (the longest matching prefix of its path under src/ wins) may include from
# src/: the first path component of the included header, or "platform/<sub>".
allowed = {
    "platform": {"platform"},
    "platform/ole": {"platform", "platform/ole", "platform/window"},
    "platform/window": {"platform", "platform/window", "platform/ole"},
    "platform/qt": {"platform", "platform/ole", "platform/window", "platform/qt"},
    "model": {"model", "codecs", "platform"},
    "codecs": {"model", "codecs", "platform"},
    "display": {"display", "model", "codecs", "platform", "platform/window", "platform/ole"},
    "control": {"control", "display", "model", "codecs", "platform", "platform/window",
                "platform/ole"},
}
layers = {"platform", "model", "codecs", "display", "control"}
qt_allowed = ("src/platform/qt/", "apps/")


def layer_of(header):
    """The layer an include names ("platform/ole" for platform/ole/x.h), or None for headers
    outside src/."""
    parts = header.split("/")
    if parts[0] not in layers or len(parts) < 2:
        return None
    if parts[0] == "platform" and len(parts) > 2:
        return "platform/" + parts[1]
    return parts[0]


def folder_of(path):
    """The folder whose rules a file under src/ follows."""
    parts = path.relative_to(root / "src").as_posix().split("/")
    if parts[0] == "platform" and len(parts) > 2:
        return "platform/" + parts[1]
    return parts[0]


def main():
    problems = []
    files = [p for d in ("src", "apps") for p in (root / d).rglob("*")
             if p.suffix in (".h", ".cpp")]
    for path in sorted(files):
        rel = path.relative_to(root).as_posix()
        in_src = rel.startswith("src/")
        folder = folder_of(path) if in_src else None
        rules = allowed.get(folder)
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            m = include.match(line)
            if not m:
                continue
            header = m.group(2)
            where = f"{rel}:{number}: {line.strip()}"
            if m.group(1) == "<" and re.match(r"Q[A-Za-z]|Qt", header) and not rel.startswith(qt_allowed):
                problems.append(f"{where}  (Qt only in src/platform/qt and the apps)")
            target = layer_of(header)
            if in_src and target is not None and rules is not None and target not in rules:
                problems.append(f"{where}  ({folder} may include {sorted(rules)})")
            if rel == "src/model/image_doc.h" and target == "codecs":
                problems.append(f"{where}  (the document holds its codecs through CImageCodec)")
    for p in problems:
        print(p)
    if problems:
        print(f"layer check: {len(problems)} include(s) point the wrong way", file=sys.stderr)
        return 1
    print(f"layer check: {len(files)} files, every include points down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
