#!/usr/bin/env python3
"""Checks that src/ folders include only their own layer and the layers below.

The order, lowest first: text, core, page, interp, then tags, web and the
modules (side by side: none includes another), then host. src/main.cpp is
the program's entry and may include anything; a module's *_api.h may be
included from the tags layer up. Prints each include that goes
the wrong way and exits 1 when there is one.
Usage: check_layers.py [SRC_DIR]
"""
import os
import re
import sys

RANK = {"text": 0, "core": 1, "page": 2, "interp": 3, "tags": 4, "web": 4, "modules": 4, "host": 5}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def layer(path):
    """The layer of a path below src/: 'modules/db' for a module, else the folder."""
    parts = path.split("/")
    if parts[0] == "modules" and len(parts) > 2:
        return "modules/" + parts[1]
    return parts[0] if len(parts) > 1 else None


def allowed(source, target, included):
    if source == target or target is None:
        return True
    # A module's *_api.h declares what it exports: the layers that load the
    # module through the module host may include it.
    if target.startswith("modules/") and included.endswith("_api.h"):
        return RANK.get(source.split("/")[0], -1) >= RANK["tags"]
    s_rank = RANK.get(source.split("/")[0])
    t_rank = RANK.get(target.split("/")[0])
    if s_rank is None or t_rank is None:
        return False
    return t_rank < s_rank


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")
    src = os.path.normpath(src)
    bad = []
    for base, _, files in os.walk(src):
        for name in files:
            if not name.endswith((".cpp", ".h", ".def")):
                continue
            full = os.path.join(base, name)
            rel = os.path.relpath(full, src)
            source = layer(rel)
            if source is None:
                continue
            if source.split("/")[0] not in RANK:
                bad.append(f"{rel}: folder {source} has no layer")
                continue
            with open(full, encoding="utf-8", errors="replace") as f:
                for included in INCLUDE.findall(f.read()):
                    target = layer(included)
                    if not allowed(source, target, included):
                        bad.append(f"{rel} includes {included}")
    for line in sorted(bad):
        print(line)
    if bad:
        print(f"{len(bad)} include(s) against the layer order", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
