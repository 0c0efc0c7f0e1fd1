#!/usr/bin/env python3
"""Checks that every #include of the program runs down the layers, never up:

    app -> modules (bitmap, imaging, browser, maps, assets) -> win32 -> codecs, chromium, os -> ui

A module may use another module as long as no two folders depend on each other, directly
or through others. Prints each include that breaks the rule and exits 1."""
import os
import re
import sys

LAYERS = {"ui": 0, "os": 1, "codecs": 1, "chromium": 1, "win32": 2,
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
            for name in names:
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.relpath(os.path.join(base, name), root)
                source = folder_of(path)
                for included in INCLUDE.findall(open(os.path.join(root, path), encoding="utf-8").read()):
                    top_included = included.split("/")[0]
                    if top_included not in LAYERS:
                        continue  # generated files and same-folder names
                    if LAYERS[top_included] > LAYERS[top]:
                        faults.append(f"{path}: includes {included}, a higher layer")
                    if folder_of(included) != source:
                        edges.setdefault(source, set()).add(folder_of(included))
    state = {}  # a cycle among the folders' dependencies

    def visit(node, trail):
        state[node] = "open"
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == "open":
                faults.append("folders depend on each other: " + " -> ".join(trail[trail.index(nxt):] + [nxt]))
            elif nxt not in state:
                visit(nxt, trail + [nxt])
        state[node] = "done"

    for node in sorted(edges):
        if node not in state:
            visit(node, [node])
    print(*faults, sep="\n")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
