#!/usr/bin/python3
"""Checks the sample picture with Pillow: a 420 × 345 RGB BMP of about 96 dpi with 247
colours, each transparent-colour choice covering at least 100 pixels; the picture script
draws it byte for byte, and at other sizes a picture of that size with at most 247 colours.

Usage: /usr/bin/python3 check_sample_picture.py <source folder>
"""

import pathlib
import subprocess
import sys
import tempfile

from PIL import Image


def colours(path, size=None, script=None):
    if script:
        size_option = ["--size", "x".join(map(str, size))] if size else []
        subprocess.run(["/usr/bin/python3", script, *size_option, "--output", path], check=True, stdout=subprocess.DEVNULL)
    with Image.open(path) as image:
        facts = (image.format, image.size, image.mode, [round(d, 1) for d in image.info.get("dpi", (0, 0))])
        return facts, {colour: n for n, colour in image.convert("RGB").getcolors(maxcolors=1 << 24)}


def main(source):
    script, committed = source / "assets" / "draw_sample_picture.py", source / "assets" / "sample_picture.bmp"
    facts, counts = colours(committed)
    failures = [] if facts == ("BMP", (420, 345), "RGB", [96.0, 96.0]) else [f"the sample is {facts}"]
    keys = ((0, 0, 0), (255, 255, 255), (0, 0, 255), (255, 0, 51))  # the transparent-colour choices
    if len(counts) != 247 or any(counts.get(key, 0) < 100 for key in keys):
        failures.append(f"{len(counts)} colours in the sample, or a key colour missing")
    with tempfile.TemporaryDirectory() as folder:
        colours(pathlib.Path(folder) / "sample.bmp", script=script)
        if (pathlib.Path(folder) / "sample.bmp").read_bytes() != committed.read_bytes():
            failures.append("the default drawing differs from the committed sample_picture.bmp")
        for size, name in (((160, 90), "wide.bmp"), ((96, 128), "tall.png")):
            facts, counts = colours(pathlib.Path(folder) / name, size, script)
            if facts[1] != size or len(counts) > 247:
                failures.append(f"{name}: size {facts[1]}, {len(counts)} colours")
    print(*failures, sep="\n", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1])) if len(sys.argv) == 2 else __doc__)
