#!/usr/bin/python3
"""Checks the picture script's other sizes: drawn without --size it still makes exactly the
committed sample, and at another size a picture of that size with at most the sample's
247 colours, which Pillow opens.

Usage: /usr/bin/python3 check_picture_sizes.py <source folder>
"""

import pathlib
import subprocess
import sys
import tempfile

from PIL import Image


def draw(script, folder, name, *size):
    target = folder / name
    arguments = ["/usr/bin/python3", str(script), "--output", str(target)]
    if size:
        arguments[2:2] = ["--size", "x".join(map(str, size))]
    subprocess.run(arguments, check=True, stdout=subprocess.DEVNULL)
    return target


def main(source):
    script = source / "assets" / "draw_sample_picture.py"
    committed = source / "assets" / "sample_picture.bmp"
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        folder = pathlib.Path(folder)
        if draw(script, folder, "sample.bmp").read_bytes() != committed.read_bytes():
            failures.append("the default drawing differs from the committed sample_picture.bmp")
        for size, name in (((160, 90), "wide.bmp"), ((96, 128), "tall.png")):
            with Image.open(draw(script, folder, name, *size)) as picture:
                colours = picture.convert("RGB").getcolors(maxcolors=1 << 24)
                if picture.size != size:
                    failures.append(f"{name}: size {picture.size}, expected {size}")
                if len(colours) > 247:
                    failures.append(f"{name}: {len(colours)} colours, at most 247 expected")
    for failure in failures:
        print(failure, file=sys.stderr)
    print("FAILED" if failures else "ok")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(pathlib.Path(sys.argv[1])))
