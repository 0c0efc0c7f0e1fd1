"""Draws a photo-like JPEG of any size for measuring the opening of large pictures: the
README's photo (docs/photo.jpg) scaled up, with a fine colour grain over it so that the JPEG holds
as much detail as a camera's picture of that size (a smooth enlargement would compress to
almost nothing and decode unrealistically fast).

usage: make_large_photo.py WIDTHxHEIGHT OUTPUT.jpg   (e.g. 6000x4000, a 24-megapixel photo)
"""
import pathlib
import sys

from PIL import Image

ROOT = pathlib.Path(__file__).resolve().parent.parent


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip())
    width, height = (int(n) for n in sys.argv[1].lower().split("x"))
    with Image.open(ROOT / "docs" / "photo.jpg") as photo:
        scaled = photo.convert("RGB").resize((width, height), Image.LANCZOS)
    grain = Image.merge("RGB", [Image.effect_noise((width, height), 40) for _ in range(3)])
    Image.blend(scaled, grain, 0.2).save(sys.argv[2], quality=90)


if __name__ == "__main__":
    main()
