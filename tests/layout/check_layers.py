#!/usr/bin/env python3
"""Checks that includes run down the layers below, never up, and that no folders depend on each other."""
import os
import re
import sys

LAYERS = {"report": 0, "fast": 0, "os": 1, "codecs": 1, "chromium": 1, "win32": 2,
          "maps": 3, "assets": 3, "bitmap": 3, "imaging": 3, "browser": 3, "app": 4}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path):
    """The library folder of a path: win32/gdi32, bitmap, ..."""
    parts = path.split("/")
    return "/".join(parts[:2]) if parts[0] == "win32" and len(parts) > 2 else parts[0]


def main(root):
    edges = {}
    faults = []
    for top in LAYERS:
        for base, _, names in os.walk(os.path.join(root, top)):
            for path in (os.path.relpath(os.path.join(base, n), root) for n in names if n.endswith((".h", ".cpp"))):
                for included in INCLUDE.findall(open(os.path.join(root, path), encoding="utf-8").read()):
                    if included.split("/")[0] not in LAYERS:
                        continue  # generated files and same-folder names
                    if LAYERS[included.split("/")[0]] > LAYERS[top]:
                        faults.append(f"{path}: includes {included}, a higher layer")
                    if folder_of(included) != folder_of(path):
                        edges.setdefault(folder_of(path), set()).add(folder_of(included))

    def reachable(node, seen):
        for nxt in edges.get(node, ()):
            if nxt not in seen:
                seen.add(nxt)
                reachable(nxt, seen)
        return seen

    faults += [f"{node} depends on itself through other folders" for node in sorted(edges) if node in reachable(node, set())]
    print(*faults, sep="\n")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
