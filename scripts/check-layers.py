#!/usr/bin/env python3
"""Fails when an #include points up the house.

Every source folder sits on a floor; a file may include headers of its own
folder and of folders on lower floors, never of a higher floor or of a
sibling on the same floor. On top of that: nothing under engine/ or
database/ includes Qt, and nothing outside app/ includes app/.

Usage: scripts/check-layers.py [ROOT]   (exit 1 and one line per fault)
"""
import re
import sys
from pathlib import Path

# Floors from the bottom up. Folders on the same floor may not include each
# other. The deepest matching prefix decides a file's folder.
FLOORS = [
    ["engine/util"],
    ["engine/storage"],
    ["engine/format"],
    ["engine/catalog"],
    ["engine/index"],
    ["engine/expr"],
    ["engine/table"],
    ["engine/sql"],
    ["engine/isam", "engine/compact", "engine/upsize"],
    ["database"],
    ["ui"],
    ["schema", "convert"],
    ["browse"],
    ["app"],
]
# Folders that may include anything below them but that nothing includes.
TOOLS = {"cli": "database"}   # kevra-cli sits beside the window, above database/
SKIPPED = ("tests/", "build", ".git/")
SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".cc", ".inc"}
GUI_FOLDERS = {"ui", "schema", "convert", "browse", "app"}
QT_INCLUDE = re.compile(r"^Q[A-Za-z]*$|^Qt[A-Za-z]*/|^ui_")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def folder_of(rel):
    """The floor folder of a repository-relative path, or None."""
    best = None
    for floor in FLOORS:
        for folder in floor:
            if rel == folder or rel.startswith(folder + "/"):
                if best is None or len(folder) > len(best):
                    best = folder
    if best is None:
        top = rel.split("/", 1)[0]
        if top in TOOLS:
            return top
    return best


def rank(folder):
    if folder in TOOLS:
        return rank(TOOLS[folder]) + 0.5
    for level, floor in enumerate(FLOORS):
        if folder in floor:
            return level
    raise KeyError(folder)


def check(root):
    faults = []
    for path in sorted(root.rglob("*")):
        rel = path.relative_to(root).as_posix()
        if path.suffix not in SOURCE_SUFFIXES or rel.startswith(SKIPPED):
            continue
        if "/build" in rel or rel.startswith("build"):
            continue
        source = folder_of(rel)
        if source is None:
            if rel.startswith("engine/"):
                faults.append(f"{rel}: engine files live in a layer folder (engine/<layer>/)")
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            bracket, target = match.groups()
            where = f"{rel}:{number}"
            if QT_INCLUDE.search(target.split("/")[-1]) or target.startswith("Qt"):
                if source not in GUI_FOLDERS:
                    faults.append(f"{where}: {source}/ must not include Qt ({target})")
                continue
            if bracket != '"':
                continue
            dest = folder_of(target)
            if dest is None and target.startswith("engine/"):
                faults.append(f"{where}: {target} is in no layer folder")
                continue
            if dest is None or dest == source:
                continue
            if dest in TOOLS:
                faults.append(f"{where}: nothing includes {dest}/ ({target})")
            elif dest == "app":
                faults.append(f"{where}: only app/ includes app/ ({target})")
            elif rank(dest) > rank(source):
                faults.append(f"{where}: {source}/ includes {dest}/, which sits above it ({target})")
            elif rank(dest) == rank(source):
                faults.append(f"{where}: {source}/ includes its sibling {dest}/ ({target})")
    return faults


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent)
    faults = check(root)
    for fault in faults:
        print(fault)
    if faults:
        print(f"layering check: {len(faults)} include(s) point up or sideways", file=sys.stderr)
        return 1
    print("layering check: every include points down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
