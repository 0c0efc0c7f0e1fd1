#!/usr/bin/python3
"""Opens the sample picture with Pillow, a decoder independent of ours, and checks it.

Usage: /usr/bin/python3 check_sample_picture.py <path of sample_picture.bmp>
"""

import sys

from PIL import Image

KEY_COLOURS = {"black": (0, 0, 0), "white": (255, 255, 255), "blue": (0, 0, 255),
               "red 255, 0, 51": (255, 0, 51)}


def main(path):
    failures = []
    with Image.open(path) as image:
        if image.format != "BMP":
            failures.append(f"format {image.format}, expected BMP")
        if image.size != (420, 345):
            failures.append(f"size {image.size}, expected (420, 345)")
        if image.mode != "RGB":
            failures.append(f"mode {image.mode}, expected RGB")
        dpi = image.info.get("dpi", (0, 0))
        if any(abs(d - 96) > 0.05 for d in dpi):  # 3780 pixels per metre is 96.01 dpi
            failures.append(f"dpi {dpi}, expected about 96")
        colours = {colour for _, colour in image.convert("RGB").getcolors(maxcolors=1 << 24)}
    if len(colours) != 247:
        failures.append(f"{len(colours)} distinct colours, expected 247")
    for name, colour in KEY_COLOURS.items():
        if colour not in colours:
            failures.append(f"the key colour {name} {colour} is missing")
    for failure in failures:
        print(f"{path}: {failure}", file=sys.stderr)
    print(f"{path}: {'FAILED' if failures else 'ok'}")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1]))
