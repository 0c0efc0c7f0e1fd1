#!/usr/bin/python3
"""A second opinion on the program's BMP files from Pillow, a decoder independent of ours.

Runs the program's file writer into a fresh folder, then decodes every file with Pillow and
compares it pixel by pixel with what the source picture must become: at 1, 4 and 8 bits
each pixel is the nearest entry of the stated colour table (lowest index on a tie), at 32
bits the pixel itself; the effect files hold the effect computed here from the source.

Usage: /usr/bin/python3 check_with_pillow.py <bitmap_files_for_decoders> <folder>
"""

import os
import shutil
import subprocess
import sys

from PIL import Image

SIXTEEN = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
LEVELS8 = [0, 36, 72, 109, 145, 182, 218, 255]
LEVELS4 = [0, 85, 170, 255]
TABLES = {
    1: [(0, 0, 0), (255, 255, 255)],
    4: SIXTEEN,
    8: [(LEVELS8[i >> 5], LEVELS8[(i >> 2) & 7], LEVELS4[i & 3]) for i in range(256)],
}
OFFSETS = {1: 62, 4: 118, 8: 1078, 32: 54}


def nearest(table, colour, cache):
    if colour not in cache:
        distances = [sum((a - b) ** 2 for a, b in zip(colour, entry)) for entry in table]
        cache[colour] = table[distances.index(min(distances))]
    return cache[colour]


def grey(c):
    return round(sum(c) / 3)


def per_pixel(effect, c):
    r, g, b = c
    v = grey(c)
    d, h = min(2 * v, 255), v // 2
    return {1: (v, v, v), 2: (d, v, v), 3: (v, v, d), 4: (v, d, v), 5: (v, h, v),
            6: (h, v, v), 7: (v, v, h),
            8: (min(round(123 / 255 * r + 132), 255), min(round(189 / 255 * g + 66), 255), b),
            9: (255 - r, 255 - g, 255 - b)}[effect]


def neighbourhood(effect, pixels, width, height):
    """Effects 10 and 11 with row 0 at the top; Python's round() breaks ties to even."""
    at = lambda x, y: pixels[y * width + x]
    out = []
    for y in range(height):
        for x in range(width):
            if effect == 10:
                taps = [(x + dx, y + dy, w) for dx, dy, w in ((-1, -1, -1), (1, 1, 1))
                        if 0 <= x + dx < width and 0 <= y + dy < height]
                if not taps:
                    out.append((0, 0, 0))
                    continue
                out.append(tuple(
                    min(max(round(sum(w * at(tx, ty)[k] for tx, ty, w in taps) / len(taps) + 127), 0), 255)
                    for k in range(3)))
            else:
                other = at(min(x + 1, width - 1), min(y + 1, height - 1))
                v = min(max(grey(other) - grey(at(x, y)) + 127, 0), 255)
                out.append((v, v, v))
    return out


def flipped(pixels, width, height):
    return [p for y in reversed(range(height)) for p in pixels[y * width:(y + 1) * width]]


def expected_effect(effect, engine, pixels, width, height):
    if effect <= 9:
        return [per_pixel(effect, c) for c in pixels]
    if engine == "pixels":
        return neighbourhood(effect, pixels, width, height)
    # The DIB engine numbers rows from the bottom.
    return flipped(neighbourhood(effect, flipped(pixels, width, height), width, height), width, height)


def compare(path, got, want, width, failures):
    for i, (g, w) in enumerate(zip(got, want)):
        if g != w:
            failures.append(f"{path}: pixel ({i % width}, {i // width}) is {g}, expected {w}")
            return
    if len(got) != len(want):
        failures.append(f"{path}: {len(got)} pixels, expected {len(want)}")


def check_depth(path, depth, source, failures):
    width, height = source.size
    stride = (width * depth + 31) // 32 * 4
    if os.path.getsize(path) != OFFSETS[depth] + stride * height:
        failures.append(f"{path}: {os.path.getsize(path)} bytes")
    with Image.open(path) as image:
        if image.format != "BMP" or image.size != source.size:
            failures.append(f"{path}: {image.format} {image.size}")
            return
        if depth == 1 and image.mode == "1":
            pass  # Pillow recognised the table as black, white
        elif depth <= 8:
            palette = image.getpalette()[:3 * len(TABLES[depth])]
            if [tuple(palette[i:i + 3]) for i in range(0, len(palette), 3)] != TABLES[depth]:
                failures.append(f"{path}: the colour table differs from the stated one")
        got = list(image.convert("RGB").getdata())
    cache = {}
    want = list(source.getdata()) if depth == 32 else [nearest(TABLES[depth], c, cache) for c in source.getdata()]
    compare(path, got, want, width, failures)


def main(tool, folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    subprocess.run([tool, folder], check=True)
    failures = []
    names = sorted(n[:-4] for n in os.listdir(folder) if n.endswith(".ppm"))
    for name in names:
        with Image.open(os.path.join(folder, name + ".ppm")) as ppm:
            source = ppm.convert("RGB")
        for depth in (1, 4, 8, 32):
            check_depth(os.path.join(folder, f"{name}_{depth}.bmp"), depth, source, failures)
    with Image.open(os.path.join(folder, "sample.ppm")) as ppm:
        source = ppm.convert("RGB")
    width, height = source.size
    pixels = list(source.getdata())
    for effect in range(1, 12):
        for engine in ("pixels", "dibits"):
            path = os.path.join(folder, f"sample_effect{effect}_{engine}.bmp")
            with Image.open(path) as image:
                got = list(image.convert("RGB").getdata())
            compare(path, got, expected_effect(effect, engine, pixels, width, height), width, failures)
    for failure in failures:
        print(failure, file=sys.stderr)
    print(f"{len(names)} pictures at 4 depths and 22 effect files: {'FAILED' if failures else 'ok'}")
    return 1 if failures or not names else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2]))
