#!/usr/bin/python3
"""A second opinion from Pillow, a decoder independent of the program's: every file
<name>.expected.ppm in the folder holds the pixels that the file <name> beside it must show.
Exit 0 when all agree, 1 on a difference, 77 when Pillow is missing.

Usage: /usr/bin/python3 compare_in_pillow.py <folder>
"""
import os
import sys

try:
    from PIL import Image
except ImportError:
    print("Pillow is not installed", file=sys.stderr)
    sys.exit(77)


def main(folder):
    failures, names = [], sorted(n[:-len(".expected.ppm")] for n in os.listdir(folder) if n.endswith(".expected.ppm"))
    for name in names:
        with Image.open(os.path.join(folder, name + ".expected.ppm")) as ppm:
            want = ppm.convert("RGB")
        with Image.open(os.path.join(folder, name)) as image:
            got = image.convert("RGB")
        if got.size != want.size:
            failures.append(f"{name}: size {got.size}, expected {want.size}")
        elif got.tobytes() != want.tobytes():
            at = next(i for i, (g, w) in enumerate(zip(got.getdata(), want.getdata())) if g != w)
            failures.append(f"{name}: pixel ({at % got.width}, {at // got.width}) is "
                            f"{got.getpixel((at % got.width, at // got.width))}, expected "
                            f"{want.getpixel((at % got.width, at // got.width))}")
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures or not names else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]) if len(sys.argv) == 2 else __doc__)
