#!/usr/bin/python3
"""Checks the committed sample picture and its drawing script with Pillow. Argument: the source folder."""

import pathlib
import subprocess
import sys
import tempfile

from PIL import Image


def facts(path):
    with Image.open(path) as image:
        dpi = [round(d, 1) for d in image.info.get("dpi", (0, 0))]
        return (image.format, image.size, image.mode, dpi), dict((c, n) for n, c in image.convert("RGB").getcolors(1 << 24))


def main(source):
    script, committed = source / "assets" / "draw_sample_picture.py", source / "assets" / "sample_picture.bmp"
    found, counts = facts(committed)
    failures = [] if found == ("BMP", (420, 345), "RGB", [96.0, 96.0]) else [f"the sample is {found}"]
    keys = ((0, 0, 0), (255, 255, 255), (0, 0, 255), (255, 0, 51))  # the transparent-colour choices
    if len(counts) != 247 or any(counts.get(key, 0) < 100 for key in keys):
        failures.append(f"{len(counts)} colours in the sample, or a key colour missing")
    with tempfile.TemporaryDirectory() as folder:
        for name, size in (("sample.bmp", None), ("wide.bmp", (160, 90)), ("tall.png", (96, 128))):
            option = ["--size", f"{size[0]}x{size[1]}"] if size else []
            subprocess.run(["/usr/bin/python3", script, *option, "--output", f"{folder}/{name}"], check=True, stdout=subprocess.DEVNULL)
            found, counts = facts(f"{folder}/{name}")
            if size and (found[1] != size or len(counts) > 247):
                failures.append(f"{name}: size {found[1]}, {len(counts)} colours")
        if pathlib.Path(folder, "sample.bmp").read_bytes() != committed.read_bytes():
            failures.append("the default drawing differs from the committed sample_picture.bmp")
    print(*failures, sep="\n", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1])) if len(sys.argv) == 2 else __doc__)
