"""The pictures the soak opens and what the window must make of them, and the checks of the
files it writes, each against the picture shown (decoded by Pillow, an independent decoder).

Exact: BMP 32, PNG (with the transparent colour exactly where the picture has the key),
GIF through the own palette for a picture of at most 254 colours, effects 1 to 11 and BMP
1/4/8 on a random sample of pixels (recomputed here from the picture). Bounded: JPEG by
PSNR, the GIF encoder's halftone by PSNR, a picture that came from a JPEG file within a
small tolerance.
"""

import io
import math
import os
import random
import subprocess
import sys
from dataclasses import dataclass, field
from pathlib import Path

from PIL import Image, ImageChops, ImageStat

SAMPLED_PIXELS = 1500


@dataclass
class Picture:
    name: str
    path: Path | None  # None for the sample built into the program
    expected_file: Path  # what the window shows, as raw RGB or a picture file
    width: int
    height: int
    tolerance: int = 0  # a decoder's rounding: pictures read from JPEG files
    _image: Image.Image | None = field(default=None, repr=False)
    _colours: object = field(default=0, repr=False)

    @property
    def pixels(self):
        return self.width * self.height

    def image(self):
        if self._image is None:
            if self.expected_file.suffix == ".rgb":
                self._image = Image.frombytes("RGB", (self.width, self.height), self.expected_file.read_bytes())
            else:
                with Image.open(self.expected_file) as opened:
                    self._image = opened.convert("RGB")
        return self._image

    def few_colours(self):
        """The picture's colours when it has at most 254, else None."""
        if self._colours == 0:
            found = self.image().getcolors(254)
            self._colours = None if found is None else {colour for _, colour in found}
        return self._colours

    def forget(self):
        self._image = None


def make_pictures(folder, sample_bmp, make_small, max_megapixels, rng):
    """Writes the soak's pictures into folder: the small ones of every readable format (the
    window tests' own set, tests/app/make_pictures.py), larger ones up to max_megapixels, and
    broken files. Returns (sample, pictures, refused {path: part of the reason})."""
    folder.mkdir(parents=True, exist_ok=True)
    # Debian's ImageMagick makes the 16-bit pictures (the first convert on PATH may be another).
    subprocess.run([sys.executable, str(make_small), str(folder)], check=True,
                   env=dict(os.environ, PATH="/usr/bin:/bin"))
    pictures = []
    for line in (folder / "manifest.txt").read_text().splitlines():
        name, width, height, tolerance = line.split()
        pictures.append(Picture(name, folder / name, folder / (name + ".rgb"), int(width), int(height), int(tolerance)))
    refused = {}
    for line in (folder / "refused.txt").read_text().splitlines():
        name, reason = line.split("|", 1)
        # The huge ones cost a decode each (the window tests cover them); whether an SVG is
        # readable depends on the Qt plugins installed.
        if name not in ("largest.png", "huge.png", "drawing.svg"):
            refused[folder / name] = reason
    # The other formats Qt reads (Netpbm, Targa, icons), small.
    small = gradient(29, 17, rng)
    for name, picture, options in (("soak.ppm", small, {}), ("soak.pgm", small.convert("L"), {}),
                                   ("soak.tga", small, {}), ("soak.ico", gradient(32, 32, rng), {"sizes": [(32, 32)]})):
        picture.save(folder / name, **options)
        pictures.append(Picture(name, folder / name, folder / name, *picture.size))
    # Larger pictures, in many colours.
    sizes = [(1, 1), (1, 300), (2000, 1), (640, 480), (1920, 1080)]
    for megapixels in (6, 12, 24):
        if megapixels <= max_megapixels:
            sizes.append({6: (3000, 2000), 12: (4000, 3000), 24: (6000, 4000)}[megapixels])
    for width, height in sizes:
        picture = gradient(width, height, rng)
        for suffix, options, tolerance in ((".png", {"compress_level": 1}, 0), (".jpg", {"quality": 92}, 3),
                                           (".bmp", {}, 0)):
            if width * height >= 6_000_000 and suffix == ".png":
                continue  # slow to write; the large ones come as BMP and JPEG
            name = f"soak-{width}x{height}{suffix}"
            picture.save(folder / name, **options)
            pictures.append(Picture(name, folder / name, folder / name, width, height, tolerance))
    sample = Picture("sample", None, Path(sample_bmp), 420, 345)
    return sample, pictures, refused


def gradient(width, height, rng):
    """Smooth, in many colours (red down, green across, blue in rings), quick to make."""
    red = Image.linear_gradient("L").resize((width, height), Image.BILINEAR)
    green = Image.linear_gradient("L").rotate(90 * rng.choice((1, 3))).resize((width, height), Image.BILINEAR)
    blue = Image.radial_gradient("L").resize((width, height), Image.BILINEAR)
    return Image.merge("RGB", (red, green, blue))


# --- checks: each returns None when the file is right, else the reason --------------------

def decoded(path):
    try:
        with Image.open(path) as opened:
            opened.load()
            return opened.copy(), None
    except Exception as error:  # noqa: BLE001 - any decoder complaint is the finding
        return None, f"{path.name} does not decode: {error}"


def same_size(got, picture, name):
    if got.size != (picture.width, picture.height):
        return f"{name} is {got.size[0]} × {got.size[1]}, the picture {picture.width} × {picture.height}"
    return None


def decoded_at_size(path, picture):
    """The file decoded, and None; or None and why it does not decode at the picture's size."""
    got, reason = decoded(path)
    reason = reason or same_size(got, picture, path.name)
    return (None, reason) if reason else (got, None)


def differs(got_rgb, want, tolerance, name):
    difference = ImageChops.difference(got_rgb, want)
    if tolerance == 0:
        box = difference.getbbox()
        if box:
            x, y = box[0], box[1]
            for yy in range(box[1], box[3]):
                for xx in range(box[0], box[2]):
                    if difference.getpixel((xx, yy)) != (0, 0, 0):
                        x, y = xx, yy
                        break
                else:
                    continue
                break
            return f"{name}: pixel ({x}, {y}) is {got_rgb.getpixel((x, y))}, the picture's {want.getpixel((x, y))}"
        return None
    worst = max(high for _, high in difference.getextrema())
    return f"{name}: a pixel differs by {worst} (at most {tolerance})" if worst > tolerance else None


def psnr(got_rgb, want):
    squares = ImageStat.Stat(ImageChops.difference(got_rgb, want)).sum2
    mse = sum(squares) / (3 * want.width * want.height)
    return 99.0 if mse == 0 else 10 * math.log10(255 * 255 / mse)


def key_mask(want, key):
    """255 where the picture has the colour key, else 0."""
    bands = [band.point(lambda v, k=k: 255 if v == k else 0) for band, k in zip(want.split(), key)]
    return ImageChops.multiply(ImageChops.multiply(bands[0], bands[1]), bands[2])


def check_keyed(got, picture, key, name):
    """A PNG or own-palette GIF: transparent exactly at the key colour, the rest as the picture."""
    want = picture.image()
    rgba = got.convert("RGBA")
    alpha = rgba.getchannel("A")
    expected_alpha = ImageChops.invert(key_mask(want, key)) if key else Image.new("L", want.size, 255)
    wrong = ImageChops.difference(alpha, expected_alpha).getbbox()
    if wrong:
        x, y = wrong[0], wrong[1]
        return f"{name}: transparency at ({x}, {y}) is {alpha.getpixel((x, y))}, expected {expected_alpha.getpixel((x, y))}"
    shown = Image.composite(rgba.convert("RGB"), want, alpha)  # transparent pixels taken from the picture
    return differs(shown, want, picture.tolerance, name)


def sampled_points(picture, rng):
    w, h = picture.width, picture.height
    points = {(0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)}
    for _ in range(min(SAMPLED_PIXELS, picture.pixels)):
        points.add((rng.randrange(w), rng.randrange(h)))
    return sorted(points)


def nearest(colour, palette):
    best, best_distance = None, None
    for entry in palette:
        distance = sum((a - b) * (a - b) for a, b in zip(colour, entry))
        if best_distance is None or distance < best_distance:
            best, best_distance = entry, distance
    return best


def palette_of(image):
    if image.mode == "P":
        flat = image.getpalette()[:3 * 256]
        used = {index for _, index in image.getcolors(256)} if image.getcolors(256) else range(len(flat) // 3)
        return [tuple(flat[3 * i:3 * i + 3]) for i in sorted(used)], [tuple(flat[3 * i:3 * i + 3]) for i in
                                                                        range(len(flat) // 3)]
    if image.mode in ("1", "L"):
        return None, [(0, 0, 0), (255, 255, 255)] if image.mode == "1" else [(v, v, v) for v in range(256)]
    return None, None


def check_nearest(got, picture, rng, name, exclude_index=None, key=None):
    """Every sampled pixel is the colour-table entry nearest to the picture's pixel; a
    transparent one (exclude_index) shows the key colour in the picture."""
    _, table = palette_of(got)
    if table is None:
        return f"{name} has no colour table (mode {got.mode})"
    if exclude_index is not None:
        table = [entry for i, entry in enumerate(table) if i != exclude_index]
    want = picture.image()
    rgb = got.convert("RGB")
    indexes = got if got.mode == "P" else None
    cache = {}
    for point in sampled_points(picture, rng):
        source = want.getpixel(point)
        if exclude_index is not None and indexes is not None and indexes.getpixel(point) == exclude_index:
            if key is None or max(abs(a - b) for a, b in zip(source, key)) > picture.tolerance:
                return f"{name}: pixel {point} is transparent, the picture's {source} is not the key {key}"
            continue
        if source not in cache:
            cache[source] = nearest(source, table)
        expected = cache[source]
        actual = rgb.getpixel(point)
        if picture.tolerance:  # from a JPEG file: the program's decoder may round a colour across a boundary
            if actual not in table:
                return f"{name}: pixel {point} is {actual}, not a table colour"
            continue
        if actual != expected and sum((a - b) ** 2 for a, b in zip(source, actual)) != sum(
                (a - b) ** 2 for a, b in zip(source, expected)):
            return f"{name}: pixel {point} is {actual}, the nearest table colour to {source} is {expected}"
    return None


def check_bmp(path, depth, picture, rng):
    got, reason = decoded_at_size(path, picture)
    if reason:
        return reason
    if depth == 32:
        return differs(got.convert("RGB"), picture.image(), picture.tolerance, path.name)
    colours = 2 ** depth
    _, table = palette_of(got)
    if table is None or len(table) > colours:
        return f"{path.name}: {len(table) if table else 'no'} table colours for {depth} bits"
    return check_nearest(got, picture, rng, path.name)


def check_png(path, key, picture):
    got, reason = decoded_at_size(path, picture)
    return reason or check_keyed(got, picture, key, path.name)


def check_gif(path, key, own, picture, rng):
    got, reason = decoded_at_size(path, picture)
    if reason:
        return reason
    if not own:  # the encoder's own reduction: a halftone, no transparency
        if got.info.get("transparency") is not None:
            return f"{path.name}: the encoder's GIF has a transparent colour"
        value = psnr(got.convert("RGB"), picture.image())
        return f"{path.name}: PSNR {value:.1f} dB against the picture (at least 12)" if value < 12 else None
    colours = picture.few_colours()
    if colours is not None:  # every colour kept exactly
        return check_keyed(got, picture, key, path.name)
    transparent = got.info.get("transparency")
    if (transparent is not None) != (key is not None):
        return f"{path.name}: transparent index {transparent}, key {key}"
    return check_nearest(got, picture, rng, path.name, exclude_index=transparent, key=key)


def check_jpeg(path, quality, picture):
    """Within 1.5 dB of what libjpeg-turbo through Pillow makes of the picture at that quality."""
    got, reason = decoded_at_size(path, picture)
    if reason:
        return reason
    reference = io.BytesIO()
    picture.image().save(reference, "JPEG", quality=max(quality, 1))
    reference.seek(0)
    with Image.open(reference) as encoded:
        least = psnr(encoded.convert("RGB"), picture.image()) - 1.5 - picture.tolerance
    value = psnr(got.convert("RGB"), picture.image())
    return f"{path.name}: PSNR {value:.1f} dB at quality {quality} (Pillow's {least + 1.5:.1f})" if value < least else None


def grey(p):
    return (p[0] + p[1] + p[2] + 1) // 3


def effect_pixel(effect, p):
    g = grey(p)
    h = g // 2
    return {
        1: (g, g, g), 2: (min(2 * g, 255), g, g), 3: (g, g, min(2 * g, 255)), 4: (g, min(2 * g, 255), g),
        5: (g, h, g), 6: (h, g, g), 7: (g, g, h),
        8: (132 + (82 * p[0] + 85) // 170, 66 + (126 * p[1] + 85) // 170, p[2]),
        9: (255 - p[0], 255 - p[1], 255 - p[2]),
    }[effect]


def round_half_even(value):
    return int(round(value))  # Python's round() is half-to-even


def emboss_pixel(want, x, y, down):
    """Effect 10; down: the engine's y + 1 is the row below (Pixels) or above (DIBits)."""
    w, h = want.size
    step = 1 if down else -1
    sums, n = [0, 0, 0], 0
    for dx, dy, weight in ((-1, -1, -1), (1, 1, 1)):
        nx, ny = x + dx, y + dy * step
        if 0 <= nx < w and 0 <= ny < h:
            p = want.getpixel((nx, ny))
            sums = [s + weight * c for s, c in zip(sums, p)]
            n += 1
    if n == 0:
        return (0, 0, 0)
    return tuple(min(255, max(0, round_half_even(s / n + 127))) for s in sums)


def emboss_false_pixel(want, x, y, down):
    w, h = want.size
    x2 = x + 1 if x < w - 1 else x
    last_row = h - 1 if down else 0
    y2 = y if y == last_row else y + (1 if down else -1)
    v = grey(want.getpixel((x2, y2))) - grey(want.getpixel((x, y))) + 127
    v = min(255, max(0, v))
    return (v, v, v)


def check_effect(path, effect, pixels_engine, picture, rng):
    got, reason = decoded_at_size(path, picture)
    if reason:
        return reason
    want = picture.image()
    rgb = got.convert("RGB")
    for point in sampled_points(picture, rng):
        if effect <= 9:
            expected = effect_pixel(effect, want.getpixel(point))
        elif effect == 10:
            expected = emboss_pixel(want, *point, pixels_engine)
        else:
            expected = emboss_false_pixel(want, *point, pixels_engine)
        actual = rgb.getpixel(point)
        slack = 2 * picture.tolerance + 1 if picture.tolerance else 0  # a JPEG picture: decoders round alike to ±3
        if max(abs(a - b) for a, b in zip(actual, expected)) > slack:
            return f"{path.name}: pixel {point} is {actual}, the effect gives {expected}"
    return None


def random_picture(pictures, rng, max_pixels):
    return rng.choice([p for p in pictures if p.pixels <= max_pixels])


def seeded(seed):
    return random.Random(seed)
