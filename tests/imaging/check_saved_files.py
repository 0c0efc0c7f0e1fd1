"""Reads every kind of save of the sample picture back with Pillow and ImageMagick.

Usage: check_saved_files.py WRITER SAMPLE_BMP
WRITER writes the files into a scratch folder; SAMPLE_BMP is the picture they were made from.
The own GIF conversion is redone here from its rules, independently of the C++ code.
"""
import subprocess
import sys
import tempfile
from pathlib import Path

from PIL import Image

OFFERED = {"000000": 0x000000, "ffffff": 0xFFFFFF, "ff0000": 0xFF0000, "3300ff": 0x3300FF}
FAILURES = []


def check(condition, message):
    if not condition:
        FAILURES.append(message)


def ole_to_rgb(color):
    return (color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF)


def magick_rgba(path, size):
    raw = subprocess.run(["/usr/bin/convert", str(path), "-depth", "8", "rgba:-"],
                         check=True, capture_output=True).stdout
    return [tuple(raw[i:i + 4]) for i in range(0, size[0] * size[1] * 4, 4)]


def own_gif_rules(pixels, option):
    """Palette (RGB, alpha) and indexes from the rules of the own conversion."""
    key = ole_to_rgb(option if option != -1 else 0xFFFFFF)
    slots, seen = [], set()
    for p in pixels:
        if p in seen or len(slots) >= 254:
            continue
        seen.add(p)
        if p == key:
            slots.append(slots[0] if slots else p)
            slots[0] = p
        else:
            slots.append(p)
    palette = [(0, 0, 0, 0) if option != -1 else (0, 0, 0, 255)] * 256
    for i, c in enumerate(slots):
        palette[i] = c + (255,)
    if option != -1:
        if slots and slots[0] != key:
            palette[len(slots)] = slots[0] + (255,)  # the colour the transparent entry displaces
        palette[0] = ole_to_rgb(option) + (0,)
    index_of = {}
    for i, entry in enumerate(palette):
        index_of.setdefault(entry[:3], i)
    return palette, [index_of.get(p, 0) for p in pixels]


def ijg_table(base, quality):
    quality = min(max(quality, 1), 100)
    scale = 5000 // quality if quality < 50 else 200 - quality * 2
    return sorted(min(max((b * scale + 50) // 100, 1), 255) for b in base)


LUMA = [16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55, 14, 13, 16, 24, 40, 57, 69, 56,
        14, 17, 22, 29, 51, 87, 80, 62, 18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113, 92,
        49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99]


def main(writer, sample):
    source = Image.open(sample).convert("RGB")
    pixels = list(source.getdata())
    with tempfile.TemporaryDirectory() as folder:
        folder = Path(folder)
        subprocess.run([writer, str(folder)], check=True)

        plain = Image.open(folder / "plain.png")
        check(plain.mode == "RGB", f"plain.png mode {plain.mode}")
        check(list(plain.getdata()) == pixels, "plain.png pixels differ")

        for name, color in OFFERED.items():
            path = folder / f"key_{name}.png"
            image = Image.open(path)
            check(image.mode == "RGBA", f"{path.name} mode {image.mode}")
            key = ole_to_rgb(color)
            expected = [(0, 0, 0, 0) if p == key else p + (255,) for p in pixels]
            got = list(image.getdata())
            check(all((g[3] == 0) if e[3] == 0 else g == e for g, e in zip(got, expected)),
                  f"{path.name}: not exactly the key colour transparent")
            magick = magick_rgba(path, image.size)
            check(all((m[3] == 0) if e[3] == 0 else m == e for m, e in zip(magick, expected)),
                  f"{path.name}: ImageMagick reads other pixels")

        for name, option in list(OFFERED.items()) + [("none", -1)]:
            path = folder / f"own_{name}.gif"
            image = Image.open(path)
            check(image.mode == "P", f"{path.name} mode {image.mode}")
            palette, indexes = own_gif_rules(pixels, option)
            flat = image.getpalette()[:768]
            got_palette = [tuple(flat[i:i + 3]) for i in range(0, 768, 3)]
            check(got_palette == [e[:3] for e in palette], f"{path.name}: palette order differs")
            check(list(image.getdata()) == indexes, f"{path.name}: pixel indexes differ")
            check(image.info.get("transparency") == (0 if option != -1 else None),
                  f"{path.name}: transparency {image.info.get('transparency')}")
            rgba = list(image.convert("RGBA").getdata())
            key = ole_to_rgb(option) if option != -1 else None
            check(all((r[3] == 0) if p == key else r == p + (255,) for r, p in zip(rgba, pixels)),
                  f"{path.name}: not lossless with exactly the key transparent")
            magick = magick_rgba(path, image.size)
            check(all((m[3] == 0) if p == key else m == p + (255,) for m, p in zip(magick, pixels)),
                  f"{path.name}: ImageMagick reads other pixels")

        encoder = Image.open(folder / "encoder.gif")
        check(encoder.mode == "P" and len(encoder.getpalette()) == 768, "encoder.gif is not a 256-colour GIF")
        check("transparency" not in encoder.info, "encoder.gif has a transparent colour")
        colors = subprocess.run(["/usr/bin/identify", "-format", "%k", str(folder / "encoder.gif")],
                                check=True, capture_output=True, text=True).stdout
        check(int(colors) > 16, f"encoder.gif uses only {colors} colours")

        for name, quality in [("q150", 100), ("q-5", 100), ("q0", 0), ("q50", 50), ("q90", 90), ("default", 75)]:
            image = Image.open(folder / f"{name}.jpg")
            check(image.format == "JPEG" and image.size == source.size, f"{name}.jpg does not decode")
            check(sorted(image.quantization[0]) == ijg_table(LUMA, quality),
                  f"{name}.jpg: luminance table is not quality {quality}")
        check((folder / "q90.jpg").stat().st_size > (folder / "q50.jpg").stat().st_size, "quality 90 not larger than 50")

    for failure in FAILURES:
        print("FAIL:", failure)
    print("checked", "with", len(FAILURES), "failures")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
