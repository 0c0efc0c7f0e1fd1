#!/usr/bin/python3
"""Checks the sample picture with Pillow, a decoder independent of ours: a 420 × 345 RGB BMP
of about 96 dpi with 247 colours, each colour offered as the transparent one covering at least
a 10 × 10 patch's worth of pixels; the picture script draws it byte for byte, and at other
sizes a picture of that size with at most 247 colours.

Usage: /usr/bin/python3 check_sample_picture.py <source folder>
"""

import pathlib
import subprocess
import sys
import tempfile

from PIL import Image

KEY_COLOURS = [(0, 0, 0), (255, 255, 255), (0, 0, 255), (255, 0, 51)]


def draw(script, target, size=None):
    arguments = ["/usr/bin/python3", str(script), "--output", str(target)]
    if size:
        arguments[2:2] = ["--size", "x".join(map(str, size))]
    subprocess.run(arguments, check=True, stdout=subprocess.DEVNULL)
    return target


def main(source):
    script = source / "assets" / "draw_sample_picture.py"
    committed = source / "assets" / "sample_picture.bmp"
    failures = []
    with Image.open(committed) as image:
        facts = (image.format, image.size, image.mode)
        if facts != ("BMP", (420, 345), "RGB"):
            failures.append(f"the sample is {facts}, expected BMP, (420, 345), RGB")
        if any(abs(d - 96) > 0.05 for d in image.info.get("dpi", (0, 0))):  # 3780 pixels a metre
            failures.append(f"dpi {image.info.get('dpi')}, expected about 96")
        counts = {colour: n for n, colour in image.convert("RGB").getcolors(maxcolors=1 << 24)}
    if len(counts) != 247:
        failures.append(f"{len(counts)} colours in the sample, expected 247")
    for colour in KEY_COLOURS:
        if counts.get(colour, 0) < 100:
            failures.append(f"the key colour {colour} covers {counts.get(colour, 0)} pixels")
    with tempfile.TemporaryDirectory() as folder:
        folder = pathlib.Path(folder)
        if draw(script, folder / "sample.bmp").read_bytes() != committed.read_bytes():
            failures.append("the default drawing differs from the committed sample_picture.bmp")
        for size, name in (((160, 90), "wide.bmp"), ((96, 128), "tall.png")):
            with Image.open(draw(script, folder / name, size)) as picture:
                colours = picture.convert("RGB").getcolors(maxcolors=1 << 24)
                if picture.size != size or len(colours) > 247:
                    failures.append(f"{name}: size {picture.size}, {len(colours)} colours")
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1])) if len(sys.argv) == 2 else __doc__)
