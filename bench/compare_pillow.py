#!/usr/bin/python3
"""Pillow's side of bench/compare: saves one picture in process and reports the times.

Started once per picture with its path; then reads one JSON request per line on stdin,
{"case": NAME, "runs": N, "output": PATH}, performs that save N times and answers one JSON
line {"times": [seconds...], "peak_extra_bytes": B}. The picture is decoded once before
the first request, so the times hold the conversion, encoding and writing alone.
"""

import json
import sys
import time

from PIL import Image, ImageFilter, ImageOps

from compare_memory import PeakMemory


def palette_image(colours):
    image = Image.new("P", (1, 1))
    flat = [channel for colour in colours for channel in colour]
    image.putpalette(flat + flat[:3] * (256 - len(colours)))  # unused entries repeat the first
    return image


def vga_colours():
    return [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
            (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
            (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def cube_colours():
    return [((i >> 5) % 8 * 255 // 7, (i >> 2) % 8 * 255 // 7, i % 4 * 255 // 3) for i in range(256)]


PALETTE_4 = palette_image(vga_colours())
PALETTE_8 = palette_image(cube_colours())
THIRD = 1 / 3
GREY = (THIRD, THIRD, THIRD, 0) * 3
SEPIA = (123 / 255, 0, 0, 132,  0, 189 / 255, 0, 66,  0, 0, 1, 0)
# Lower-right neighbour minus upper-left, halved, around the middle grey.
EMBOSS = ImageFilter.Kernel((3, 3), (-1, 0, 0, 0, 0, 0, 0, 0, 1), scale=2, offset=127)

def gif_with_black_transparent(im, out):
    indexed = im.quantize(256, method=Image.Quantize.MAXCOVERAGE)
    black = indexed.palette.colors.get((0, 0, 0))
    indexed.save(out, "GIF", **({} if black is None else {"transparency": black}))


# Each case: the closest thing Pillow offers to Lumivert's saver of the same name.
SAVES = {
    "bmp1": lambda im, out: im.convert("1", dither=Image.Dither.NONE).save(out, "BMP"),
    # Pillow writes no 4-bit BMP: the same 16 colours go into an 8-bit one.
    "bmp4": lambda im, out: im.quantize(palette=PALETTE_4, dither=Image.Dither.NONE).save(out, "BMP"),
    "bmp8": lambda im, out: im.quantize(palette=PALETTE_8, dither=Image.Dither.NONE).save(out, "BMP"),
    "bmp32": lambda im, out: im.convert("RGBA").save(out, "BMP"),
    "png": lambda im, out: im.save(out, "PNG"),
    "png-key": lambda im, out: im.save(out, "PNG", transparency=(0, 0, 0)),
    # Maximum coverage keeps every colour of a picture with at most 256 (checked by compare).
    "gif-own": lambda im, out: im.quantize(256, method=Image.Quantize.MAXCOVERAGE).save(out, "GIF"),
    "gif-own-key": gif_with_black_transparent,
    "gif-encoder": lambda im, out: im.save(out, "GIF"),
    "jpeg100": lambda im, out: im.save(out, "JPEG", quality=100),
    "jpeg75": lambda im, out: im.save(out, "JPEG", quality=75),
    "grey": lambda im, out: im.convert("RGB", GREY).save(out, "BMP"),
    "sepia": lambda im, out: im.convert("RGB", SEPIA).save(out, "BMP"),
    "negate": lambda im, out: ImageOps.invert(im).save(out, "BMP"),
    "emboss": lambda im, out: im.filter(EMBOSS).save(out, "BMP"),
}


def main(picture_path):
    picture = Image.open(picture_path).convert("RGB")
    picture.load()
    for line in sys.stdin:
        request = json.loads(line)
        save = SAVES[request["case"]]
        times = []
        with PeakMemory() as memory:
            for _ in range(request["runs"]):
                start = time.perf_counter()
                save(picture, request["output"])
                times.append(time.perf_counter() - start)
        print(json.dumps({"times": times, "peak_extra_bytes": memory.extra_bytes}), flush=True)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: compare_pillow.py PICTURE")
    main(sys.argv[1])
