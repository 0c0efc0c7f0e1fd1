#!/usr/bin/python3
"""Draws Lumivert's sample picture and writes it as sample_picture.bmp beside this script.

The picture: Mount Fuji at dusk under a red sun, its reflection in a lake, green hills and
black pines in front, the title "Lumivert" with "光と緑" (light and green) in the sky, and
below a colour chart: saturated and pastel hues, a grey ramp and the four colours the
program offers as transparent colours, labelled as in the window (黒 白 青 赤).

Every colour comes from one designed palette of exactly 247 colours. The scene is drawn
four times larger in palette colours only, reduced with an area filter (smooth edges and
antialiased text), and every pixel is then mapped to its nearest palette colour, so the
file holds no colour outside the palette and each palette colour appears somewhere.

Run with Debian's python (it has Pillow):  /usr/bin/python3 assets/draw_sample_picture.py
The output depends only on this script, Pillow and the Noto CJK fonts.

The same scene at another size, for the benchmarks (the committed file is not touched):
    /usr/bin/python3 assets/draw_sample_picture.py --size 1920x1080 --output /tmp/fuji.bmp
The scene is stretched to the size, the text grows with the smaller stretch, and the output
is a BMP or, for a name ending in .png, a PNG, with at most the same 247 colours. Without
--size, --output writes the sample itself elsewhere.
"""

import argparse
import math
import pathlib
import struct
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFont

WIDTH, HEIGHT = 420, 345  # the sample's size; all drawing coordinates below are in it
SCALE = 4  # drawing scale before the area reduction
LARGE_DRAWING_LIMIT = 70_000_000  # pixels; larger pictures are drawn at a smaller scale
PALETTE_SIZE = 247

HORIZON = 192    # the lake's far shore
SUN_X = 352
CRATER = 9       # half the width of Fuji's flat top
CHART_TOP = 266  # the colour chart below the scene

FONT_FOLDER = pathlib.Path("/usr/share/fonts/opentype/noto")
SERIF_BOLD = FONT_FOLDER / "NotoSerifCJK-Bold.ttc"
SANS = FONT_FOLDER / "NotoSansCJK-Regular.ttc"
JAPANESE_FACE = 0  # index of the JP face inside the Noto CJK collections

BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
BLUE = (0, 0, 255)
RED = (255, 0, 51)  # the program's fourth transparent colour; here the sun


# --- the palette -------------------------------------------------------------------------

def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def ramp(stops, count):
    """count colours spaced evenly along the polyline through the colour stops."""
    colours = []
    for k in range(count):
        position = k / (count - 1) * (len(stops) - 1)
        i = min(int(position), len(stops) - 2)
        colours.append(mix(stops[i], stops[i + 1], position - i))
    return colours


def hue(degrees, whiteness=0.0):
    """A fully saturated hue, optionally mixed towards white."""
    h = (degrees % 360) / 60
    x = 1 - abs(h % 2 - 1)
    r, g, b = [(1, x, 0), (x, 1, 0), (0, 1, x), (0, x, 1), (x, 0, 1), (1, 0, x)][int(h)]
    return mix((round(r * 255), round(g * 255), round(b * 255)), WHITE, whiteness)


SKY = ramp([(18, 20, 72), (52, 58, 142), (126, 92, 170), (222, 122, 150), (255, 178, 128),
            (255, 226, 168)], 56)
MOUNTAIN_LIT = ramp([(104, 104, 178), (168, 150, 196)], 12)
MOUNTAIN_SHADE = ramp([(50, 50, 112), (104, 88, 150)], 12)
SNOW_SHADE = [(216, 222, 244), (180, 188, 226)]
LAKE = ramp([(236, 170, 150), (150, 104, 160), (48, 56, 128), (22, 28, 76)], 20)
LAKE_FUJI = ramp([(70, 62, 124), (44, 44, 96)], 4)
FAR_HILLS = ramp([(64, 118, 120), (34, 80, 90)], 10)
NEAR_HILLS = ramp([(150, 196, 72), (40, 120, 52)], 14)
MEADOW = ramp([(54, 134, 50), (14, 60, 34)], 12)
HUES = [hue(10 * k) for k in range(36)]
PASTELS = [hue(10 * k + 5, 0.55) for k in range(36)]
GREYS = [(v, v, v) for v in (round(255 * k / 31) for k in range(1, 31))]  # between black and white
CHART_BACKGROUND = GREYS[2]

PALETTE_GROUPS = [[BLACK, WHITE, BLUE, RED], SKY, MOUNTAIN_LIT, MOUNTAIN_SHADE, SNOW_SHADE, LAKE,
                  LAKE_FUJI, FAR_HILLS, NEAR_HILLS, MEADOW, HUES, PASTELS, GREYS]


def build_palette():
    palette = list(dict.fromkeys(c for group in PALETTE_GROUPS for c in group))
    if len(palette) != PALETTE_SIZE:
        sys.exit(f"the palette has {len(palette)} colours, not {PALETTE_SIZE}")
    return palette


# --- drawing at the large scale ----------------------------------------------------------

class Frame:
    """The picture's size in pixels and the scales from drawing coordinates to the large image.

    For the sample both scales are SCALE; another size stretches the scene to fit, and text
    grows with the smaller of the two stretches so that it keeps its place."""

    def __init__(self, width, height):
        self.width, self.height = width, height
        scale = SCALE
        while scale > 1 and width * height * scale * scale > LARGE_DRAWING_LIMIT:
            scale //= 2
        self.large = (width * scale, height * scale)
        self.sx = scale * width / WIDTH
        self.sy = scale * height / HEIGHT
        self.text = scale * min(width / WIDTH, height / HEIGHT)


FRAME = Frame(WIDTH, HEIGHT)


class Canvas:
    """An RGB image at the large scale of FRAME, addressed in drawing coordinates."""

    def __init__(self):
        self.image = Image.new("RGB", FRAME.large, BLACK)
        self.draw = ImageDraw.Draw(self.image)

    def rect(self, x0, y0, x1, y1, colour):
        sx, sy = FRAME.sx, FRAME.sy
        self.draw.rectangle([round(x0 * sx), round(y0 * sy), round(x1 * sx) - 1, round(y1 * sy) - 1],
                            fill=colour)

    def polygon(self, points, colour):
        self.draw.polygon([(x * FRAME.sx, y * FRAME.sy) for x, y in points], fill=colour)

    def ellipse(self, cx, cy, rx, ry, colour):
        sx, sy = FRAME.sx, FRAME.sy
        self.draw.ellipse([(cx - rx) * sx, (cy - ry) * sy, (cx + rx) * sx, (cy + ry) * sy], fill=colour)

    def bands(self, x0, y0, x1, y1, colours):
        """Horizontal bands of the colours, top to bottom."""
        for i, colour in enumerate(colours):
            self.rect(x0, y0 + (y1 - y0) * i / len(colours), x1, y0 + (y1 - y0) * (i + 1) / len(colours),
                      colour)

    def shade(self, mask, colours):
        """Fills the mask with horizontal bands of the colours, from its top to its bottom."""
        _, top, _, bottom = mask.getbbox()
        layer = Canvas()
        layer.bands(0, top / FRAME.sy, WIDTH, bottom / FRAME.sy, colours)
        self.image.paste(layer.image, (0, 0), mask)

    def fill(self, colour, mask):
        self.image.paste(colour, (0, 0) + FRAME.large, mask)

    def strip(self, x0, y0, x1, y1, colours):
        """Vertical bars of the colours, left to right."""
        for i, colour in enumerate(colours):
            self.rect(x0 + (x1 - x0) * i / len(colours), y0,
                      x0 + (x1 - x0) * (i + 1) / len(colours), y1, colour)

    def text(self, x, y, words, font_path, size, colour, anchor="la"):
        font = ImageFont.truetype(str(font_path), round(size * FRAME.text), index=JAPANESE_FACE)
        self.draw.text((x * FRAME.sx, y * FRAME.sy), words, font=font, fill=colour, anchor=anchor)


def shape_mask(points):
    mask = Image.new("L", FRAME.large, 0)
    ImageDraw.Draw(mask).polygon([(x * FRAME.sx, y * FRAME.sy) for x, y in points], fill=255)
    return mask


def fuji_outline(peak_x, peak_y, base_y, half_width):
    """The mountain's concave slopes from the left base over the crater to the right base."""
    left, right = [], []
    for k in range(41):
        t = k / 40
        y = peak_y + (base_y - peak_y) * t
        spread = CRATER + (half_width - CRATER) * t ** 1.8
        left.append((peak_x - spread, y))
        right.append((peak_x + spread, y))
    return list(reversed(left)) + right


def snow_line(peak_x, peak_y, depth):
    """The lower edge of the snow: streaks reaching down the flanks, shorter far out."""
    points = [(0, 0), (0, peak_y)]
    for x in range(0, WIDTH + 1, 2):
        u = (x - peak_x) / 60
        streak = abs(math.sin(u * 9.1 + 0.4)) ** 3 * 0.6 + abs(math.sin(u * 23.0)) ** 6 * 0.25
        points.append((x, peak_y + depth * (0.38 + streak) * max(0.0, 1 - 0.45 * abs(u))))
    return points + [(WIDTH, 0)]


def ridge(x0, x1, base_y, crest_y, bumps, phase):
    """A rounded hill ridge from x0 to x1, highest near its middle."""
    points = [(x0, base_y)]
    for k in range(81):
        u = k / 80
        height = math.sin(math.pi * u) * (0.8 + 0.2 * math.sin(bumps * u * math.pi + phase))
        points.append((x0 + (x1 - x0) * u, base_y - (base_y - crest_y) * height))
    return points + [(x1, base_y)]


def pine(canvas, x, ground_y, height, lean):
    """A black pine: a leaning trunk carrying flat cushions of needles, Japanese style."""
    top_x = x + lean * height
    canvas.polygon([(x - 2.5, ground_y), (x + 2.5, ground_y), (top_x + 1.5, ground_y - height * 0.9),
                    (top_x - 1, ground_y - height * 0.9)], BLACK)
    for level, reach, side in ((0.42, 0.42, -1), (0.58, 0.36, 1), (0.76, 0.30, -1), (0.93, 0.22, 1)):
        cy = ground_y - height * level
        cx = x + lean * height * level
        tip = cx + side * reach * height
        canvas.polygon([(cx, cy + 2), (tip, cy - 1), (tip, cy + 1), (cx, cy + 4)], BLACK)  # branch
        for k in range(5):  # a cushion of overlapping tufts
            u = (k - 2) / 2
            canvas.ellipse(tip + u * height * 0.11, cy - height * (0.035 + 0.02 * (1 - abs(u))),
                           height * 0.09, height * 0.045, BLACK)


def draw_scene(canvas):
    canvas.bands(0, 0, WIDTH, HORIZON, SKY)
    canvas.ellipse(SUN_X, 78, 30, 30, RED)

    # Mount Fuji: the face towards the sun lit, the other in shade, snow on the top.
    peak_x, peak_y, half_width = 206, 70, 210
    mountain = shape_mask(fuji_outline(peak_x, peak_y, HORIZON, half_width))
    sunny_side = shape_mask([(peak_x + 2, 0), (WIDTH, 0), (WIDTH, HORIZON), (peak_x + 40, HORIZON),
                             (peak_x + 2, peak_y)])
    shady_side = ImageChops.subtract(mountain, sunny_side)
    lit = ImageChops.multiply(mountain, sunny_side)
    canvas.shade(shady_side, MOUNTAIN_SHADE)
    canvas.shade(lit, MOUNTAIN_LIT)
    snow = ImageChops.multiply(mountain, shape_mask(snow_line(peak_x, peak_y, 0.55 * (HORIZON - peak_y))))
    canvas.fill(SNOW_SHADE[0], ImageChops.multiply(snow, shady_side))
    canvas.fill(WHITE, ImageChops.multiply(snow, lit))
    for x in (peak_x - 20, peak_x - 9, peak_x + 12, peak_x + 24):  # gullies in the snow
        drift = (x - peak_x) / 2
        gully = shape_mask([(x, peak_y + 4), (x + 1.8, peak_y + 4), (x + 1.8 + drift, peak_y + 60),
                            (x + drift, peak_y + 60)])
        canvas.fill(SNOW_SHADE[1], ImageChops.multiply(snow, gully))

    # The lake, with the mountain and the sun mirrored in it.
    canvas.bands(0, HORIZON, WIDTH, CHART_TOP, LAKE)
    reflection = fuji_outline(peak_x, HORIZON + 0.4 * (HORIZON - peak_y), HORIZON, half_width)
    canvas.shade(shape_mask(reflection), LAKE_FUJI)
    for k, half in enumerate((26, 20, 23, 15, 17, 10, 11, 6)):
        y = HORIZON + 4 + k * 4.4
        canvas.rect(SUN_X - half + 3 * math.sin(k * 1.7), y, SUN_X + half + 3 * math.sin(k * 1.7), y + 1.5, RED)

    # Hills and the meadow in front, with pines.
    canvas.shade(shape_mask(ridge(-60, 170, 206, 162, 3, 0.6)), FAR_HILLS)
    canvas.shade(shape_mask(ridge(-30, 250, 226, 196, 2, 1.9)), NEAR_HILLS)
    meadow = [(-10, CHART_TOP)] + [(x, 240 + 6 * math.sin(x / 37) - 14 * math.exp(-((x - 40) / 80) ** 2)
                                    + 10 * math.exp(-((x - 300) / 70) ** 2))
                                   for x in range(-10, WIDTH + 11, 5)] + [(WIDTH + 10, CHART_TOP)]
    canvas.shade(shape_mask(meadow), MEADOW)
    pine(canvas, 30, 246, 86, 0.18)
    pine(canvas, 78, 236, 54, -0.1)
    pine(canvas, 406, 256, 60, 0.04)

    canvas.text(16, 6, "Lumivert", SERIF_BOLD, 44, BLACK)  # a shadow under the title
    canvas.text(14, 4, "Lumivert", SERIF_BOLD, 44, WHITE)
    canvas.text(18, 62, "光と緑", SERIF_BOLD, 20, WHITE)
    canvas.text(84, 66, "の見本", SANS, 14, PASTELS[12])


def draw_chart(canvas):
    canvas.rect(0, CHART_TOP, WIDTH, HEIGHT, CHART_BACKGROUND)
    canvas.rect(0, CHART_TOP, WIDTH, CHART_TOP + 1, BLACK)
    left, right = 8, WIDTH - 8
    canvas.strip(left, CHART_TOP + 6, right, CHART_TOP + 24, HUES)
    canvas.strip(left, CHART_TOP + 24, right, CHART_TOP + 38, PASTELS)
    canvas.strip(left, CHART_TOP + 44, right, CHART_TOP + 56, [BLACK] + GREYS + [WHITE])

    swatch_top, swatch_bottom = CHART_TOP + 62, HEIGHT - 5
    x = 200
    for label, colour in (("黒", BLACK), ("白", WHITE), ("青", BLUE), ("赤", RED)):
        canvas.text(x, (swatch_top + swatch_bottom) / 2, label, SANS, 12, WHITE, anchor="lm")
        canvas.rect(x + 15, swatch_top - 1, x + 51, swatch_bottom + 1, GREYS[10])
        canvas.rect(x + 16, swatch_top, x + 50, swatch_bottom, colour)
        x += 54
    canvas.text(left, (swatch_top + swatch_bottom) / 2, f"{FRAME.width} × {FRAME.height} · {PALETTE_SIZE} colours", SANS, 11,
                GREYS[24], anchor="lm")


# --- reduction, palette mapping, BMP ---------------------------------------------------

def to_palette(image, palette):
    """Maps every pixel to the nearest palette colour (lowest palette index on a tie).

    The distance weighs green most and blue least, roughly as the eye does."""
    nearest = {}
    pixels = []
    for colour in image.getdata():
        match = nearest.get(colour)
        if match is None:
            match = min(palette, key=lambda p: (p[0] - colour[0]) ** 2 * 3 + (p[1] - colour[1]) ** 2 * 4
                        + (p[2] - colour[2]) ** 2 * 2)
            nearest[colour] = match
        pixels.append(match)
    return pixels


def bmp_bytes(pixels, width, height):
    """A 24-bit bottom-up BMP of the pixels (RGB tuples, top row first)."""
    stride = (width * 3 + 3) // 4 * 4
    image_size = stride * height
    data_offset = 14 + 40
    file_header = struct.pack(
        "<2sIHHI",
        b"BM",                      # bfType
        data_offset + image_size,   # bfSize
        0,                          # bfReserved1
        0,                          # bfReserved2
        data_offset)                # bfOffBits
    info_header = struct.pack(
        "<IiiHHIIiiII",
        40,          # biSize
        width,       # biWidth
        height,      # biHeight: positive, bottom row first
        1,           # biPlanes
        24,          # biBitCount
        0,           # biCompression: BI_RGB
        image_size,  # biSizeImage
        3780,        # biXPelsPerMeter (96 dpi)
        3780,        # biYPelsPerMeter
        0,           # biClrUsed: no colour table
        0)           # biClrImportant
    rows = []
    for y in reversed(range(height)):
        row = bytearray()
        for r, g, b in pixels[y * width:(y + 1) * width]:
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    return file_header + info_header + b"".join(rows)


def size_argument(text):
    try:
        width, height = (int(n) for n in text.lower().split("x"))
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not WIDTHxHEIGHT") from None
    if not (16 <= width <= 16384 and 16 <= height <= 16384):
        raise argparse.ArgumentTypeError(f"{text}: each side must lie in 16 to 16384")
    return width, height


def parse_arguments():
    parser = argparse.ArgumentParser(description="Draws Lumivert's sample picture.")
    parser.add_argument("--size", type=size_argument, help="WIDTHxHEIGHT of another picture of the same kind")
    parser.add_argument("--output", type=pathlib.Path, help="where the picture goes (.bmp or .png) instead")
    arguments = parser.parse_args()
    if arguments.size is not None and arguments.output is None:
        parser.error("--size needs --output: the committed file is the sample's")
    if arguments.output is not None and arguments.output.suffix.lower() not in (".bmp", ".png"):
        parser.error("--output must end in .bmp or .png")
    return arguments


def main():
    global FRAME
    arguments = parse_arguments()
    if arguments.size is not None:
        FRAME = Frame(*arguments.size)
    palette = build_palette()
    canvas = Canvas()
    draw_scene(canvas)
    draw_chart(canvas)
    reduced = canvas.image.resize((FRAME.width, FRAME.height), Image.Resampling.BOX)
    del canvas
    pixels = to_palette(reduced, palette)

    missing = set(palette) - set(pixels)
    if missing and arguments.size is None:  # a small picture of another size may lose some
        sys.exit(f"{len(missing)} palette colours do not appear in the picture: {sorted(missing)}")

    if arguments.output is None:
        data = bmp_bytes(pixels, WIDTH, HEIGHT)
        assert len(data) == 434_754
        target = pathlib.Path(__file__).with_name("sample_picture.bmp")
        target.write_bytes(data)
    else:
        target = arguments.output
        if target.suffix.lower() == ".png":
            image = Image.new("RGB", (FRAME.width, FRAME.height))
            image.putdata(pixels)
            image.save(target, optimize=False)
            data = target.read_bytes()
        else:
            data = bmp_bytes(pixels, FRAME.width, FRAME.height)
            target.write_bytes(data)
    print(f"wrote {target}: {len(data)} bytes, {len(set(pixels))} colours")


if __name__ == "__main__":
    main()
