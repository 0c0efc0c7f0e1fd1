#!/usr/bin/python3
"""Exit 0 when each file <name> shows the pixels of <name>.expected.ppm, 1 if not, 77 without Pillow."""
import os
import sys

try:
    from PIL import Image
except ImportError:
    sys.exit(77)

folder, failures = sys.argv[1], []
names = sorted(n[:-len(".expected.ppm")] for n in os.listdir(folder) if n.endswith(".expected.ppm"))
for name in names:
    with Image.open(os.path.join(folder, name + ".expected.ppm")) as want, Image.open(os.path.join(folder, name)) as got:
        got, want = got.convert("RGB"), want.convert("RGB")
        if got.size != want.size:
            failures.append(f"{name}: size {got.size}, expected {want.size}")
        elif got.tobytes() != want.tobytes():
            at = next(i for i, (g, w) in enumerate(zip(got.getdata(), want.getdata())) if g != w)
            where = (at % got.width, at // got.width)
            failures.append(f"{name}: pixel {where} is {got.getpixel(where)}, expected {want.getpixel(where)}")
print(*failures, sep="\n", file=sys.stderr)
sys.exit(1 if failures or not names else 0)
