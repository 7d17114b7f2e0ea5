#!/usr/bin/env python3
"""Checks that the engine's folders include each other in one direction.

The order of the folders is the "layers" block of engine/README.md: one
line per layer, bottom first; folders named on one line sit beside each
other. A source file may include headers of its own folder and of folders
on lower lines only; an include of a folder beside or above its own fails,
named by file, line and include. Files directly in the engine folder
(main.cpp) sit above every layer. tests/ folders are not checked: a test
may take fixtures from any road.

Usage: check-engine-layers.py [ENGINE_FOLDER]   (default: engine/ beside scripts/)
Exit status 0 when every include goes down, 1 otherwise.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"engine/([^/"]+)/')


def read_layers(map_file):
    layers = {}
    inside = False
    level = 0
    with open(map_file, encoding="utf-8") as text:
        for line in text:
            stripped = line.strip()
            if not inside:
                inside = stripped == "```layers"
                continue
            if stripped == "```":
                return layers
            if not stripped:
                continue
            level += 1
            for folder in stripped.split():
                if folder in layers:
                    raise ValueError(f"{map_file}: {folder} is named twice in the layers block")
                layers[folder] = level
    raise ValueError(f"{map_file}: no closed ```layers block")


def source_files(engine):
    for folder, subfolders, files in os.walk(engine):
        subfolders[:] = sorted(d for d in subfolders if d != "tests")
        for name in sorted(files):
            if name.endswith((".h", ".cpp")):
                yield os.path.join(folder, name)


def check(engine):
    layers = read_layers(os.path.join(engine, "README.md"))
    top = max(layers.values(), default=0) + 1
    faults = []
    for path in source_files(engine):
        relative = os.path.relpath(path, engine)
        parts = relative.split(os.sep)
        own = parts[0] if len(parts) > 1 else None
        if own is not None and own not in layers:
            faults.append(f"{relative}: folder {own} is not in the layers block of README.md")
            continue
        level = layers[own] if own is not None else top
        with open(path, encoding="utf-8", errors="replace") as text:
            for number, line in enumerate(text, 1):
                match = INCLUDE.match(line)
                if not match or match.group(1) == own:
                    continue
                target = match.group(1)
                include = line.strip()
                if target not in layers:
                    faults.append(f"{relative}:{number}: {include}: folder {target} is not in the layers block")
                elif layers[target] == level:
                    faults.append(f"{relative}:{number}: {include}: {target} is beside {own}, not below it")
                elif layers[target] > level:
                    faults.append(f"{relative}:{number}: {include}: {target} is above {own or 'engine/'}")
    return faults


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    engine = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "engine")
    try:
        faults = check(engine)
    except (OSError, ValueError) as error:
        print(f"check-engine-layers: {error}", file=sys.stderr)
        return 1
    for fault in faults:
        print(fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
