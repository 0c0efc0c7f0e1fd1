"""Writes pictures of every format, orientation and kind the program opens into FOLDER,
each with what an independent decoder (Pillow, ImageMagick for the 16-bit files) makes of
it: NAME.rgb holds the expected 8-bit RGB rows, and manifest.txt one line per picture:
NAME WIDTH HEIGHT TOLERANCE. Then the files the program must refuse, each line of
refused.txt: NAME|A PART OF THE REASON IT GIVES.

usage: make_pictures.py FOLDER
"""
import os
import struct
import subprocess
import sys
import zlib

from PIL import Image, ImageOps


def gradient(width, height, alpha=False):
    picture = Image.new("RGBA" if alpha else "RGB", (width, height))
    pixels = picture.load()
    for y in range(height):
        for x in range(width):
            colour = (x * 255 // (width - 1), y * 255 // (height - 1), (x * 7 + y * 13) % 256)
            pixels[x, y] = colour + ((x * 17 + y * 5) % 256,) if alpha else colour
    return picture


def flattened(picture):
    """The picture as the program shows it: first frame, oriented, alpha over white."""
    picture.seek(0)
    picture = ImageOps.exif_transpose(picture)
    if picture.mode in ("RGBA", "LA", "PA") or "transparency" in picture.info:
        rgba = picture.convert("RGBA")
        white = Image.new("RGB", rgba.size)
        out = [tuple((c * a + 255 * (255 - a) + 127) // 255 for c in p[:3]) for p in rgba.getdata()
               for a in (p[3],)]
        white.putdata(out)
        return white
    return picture.convert("RGB")


def main():
    folder = sys.argv[1]
    path = lambda name: os.path.join(folder, name)
    made = []  # (name, tolerance, expected picture or None to decode the file itself)

    rgb = gradient(37, 23)
    rgba = gradient(37, 23, alpha=True)
    rgb.save(path("rgb.png")); made.append(("rgb.png", 0, None))
    rgba.save(path("rgba.png")); made.append(("rgba.png", 0, None))
    rgb.save(path("rgb.bmp")); made.append(("rgb.bmp", 0, None))
    rgb.quantize(200).save(path("palette.bmp")); made.append(("palette.bmp", 0, None))
    rgb.quantize(64).save(path("palette.gif")); made.append(("palette.gif", 0, None))
    rgb.save(path("rgb.tiff")); made.append(("rgb.tiff", 0, None))
    rgba.save(path("rgba.webp"), lossless=True); made.append(("rgba.webp", 0, None))
    rgb.convert("L").save(path("grey.jpg"), quality=95); made.append(("grey.jpg", 2, None))
    rgb.convert("CMYK").save(path("cmyk.jpg"), quality=95); made.append(("cmyk.jpg", 3, None))

    # A multi-frame GIF: the first frame counts.
    second = Image.new("RGB", rgb.size, (255, 0, 0))
    rgb.quantize(32).save(path("frames.gif"), save_all=True, append_images=[second.quantize(2)], duration=100)
    made.append(("frames.gif", 0, None))

    # Every EXIF orientation, on a picture that is not the same any way round.
    for orientation in range(1, 9):
        exif = Image.Exif()
        exif[0x0112] = orientation
        name = f"orientation-{orientation}.jpg"
        rgb.save(path(name), quality=95, exif=exif.tobytes())
        made.append((name, 3, None))

    # 16 bits a channel, grey and colour, made by ImageMagick from 8-bit pictures: each
    # value v becomes 257·v, so the expected pixels are the 8-bit source's.
    rgb.save(path("source.png"))
    rgb.convert("L").save(path("source-grey.png"))
    subprocess.run(["convert", path("source.png"), "-depth", "16", "-define", "png:bit-depth=16", path("rgb48.png")], check=True)
    subprocess.run(["convert", path("source-grey.png"), "-depth", "16", "-define", "png:color-type=0", "-define", "png:bit-depth=16",
                    path("grey16.png")], check=True)
    made.append(("rgb48.png", 0, rgb))
    made.append(("grey16.png", 0, Image.open(path("source-grey.png")).convert("RGB")))

    with open(path("manifest.txt"), "w") as manifest:
        for name, tolerance, expected in made:
            picture = expected if expected is not None else flattened(Image.open(path(name)))
            with open(path(name + ".rgb"), "wb") as raw:
                raw.write(picture.tobytes())
            manifest.write(f"{name} {picture.width} {picture.height} {tolerance}\n")

    def png_declaring(width, height):  # a header and one row: enough to learn the size
        chunk = lambda kind, data: struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(b"\0" * (1 + 3 * width))) + chunk(b"IEND", b""))

    refused = {"empty.png": (b"", "空のファイル"), "notes.png": (b"not a picture at all\n", "画像ファイルではありません"),
               "drawing.svg": (b'<svg xmlns="http://www.w3.org/2000/svg" width="9" height="9"/>\n', "読む機能がありません"),
               "huge.png": (png_declaring(16385, 16384), "大きすぎます（16385 × 16384）"),
               "largest.png": (png_declaring(16384, 16384), "途中で切れています")}  # the largest size is no reason
    for name in ("rgb.png", "rgb.bmp", "palette.gif", "orientation-1.jpg", "rgb.tiff", "rgba.webp"):
        whole = open(path(name), "rb").read()
        refused["cut-" + name] = (whole[:len(whole) * 2 // 3], "途中で切れています")
    with open(path("refused.txt"), "w") as reasons:
        for name, (content, reason) in refused.items():
            open(path(name), "wb").write(content)
            reasons.write(f"{name}|{reason}\n")


if __name__ == "__main__":
    main()
