# make_pictures.py FOLDER: pictures to open, NAME.rgb as Pillow sees each (manifest.txt: NAME W H TOLERANCE),
# and files to refuse (refused.txt: NAME|PART OF THE REASON).
import os
import struct
import subprocess
import sys
import zlib

from PIL import Image, ImageOps


def flattened(picture):  # as the program shows it: first frame, oriented, alpha over white
    picture = ImageOps.exif_transpose(picture)
    if picture.mode in ("RGBA", "LA", "PA") or "transparency" in picture.info:
        out = Image.new("RGB", picture.size)
        out.putdata([tuple((c * p[3] + 255 * (255 - p[3]) + 127) // 255 for c in p[:3])
                     for p in picture.convert("RGBA").getdata()])
        return out
    return picture.convert("RGB")


def png_declaring(width, height):  # a header and one row: enough to learn the size
    chunk = lambda kind, data: struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"\0" * (1 + 3 * width))) + chunk(b"IEND", b""))


def main(folder):
    path = lambda name: os.path.join(folder, name)
    rgba = Image.new("RGBA", (37, 23))
    rgba.putdata([(x * 255 // 36, y * 255 // 22, (x * 7 + y * 13) % 256, (x * 17 + y * 5) % 256)
                  for y in range(23) for x in range(37)])
    rgb = rgba.convert("RGB")
    saved = {"rgb.png": (rgb, {}), "rgba.png": (rgba, {}), "rgb.bmp": (rgb, {}), "palette.bmp": (rgb.quantize(200), {}),
             "palette.gif": (rgb.quantize(64), {}), "rgb.tiff": (rgb, {}), "rgba.webp": (rgba, {"lossless": True}),
             "grey.jpg": (rgb.convert("L"), {"quality": 95}), "cmyk.jpg": (rgb.convert("CMYK"), {"quality": 95}),
             "frames.gif": (rgb.quantize(32), {"save_all": True, "duration": 100,  # the first frame counts
                                               "append_images": [Image.new("RGB", rgb.size, "red").quantize(2)]})}
    for orientation in range(1, 9):  # every EXIF orientation, on a picture not the same any way round
        exif = Image.Exif()
        exif[0x0112] = orientation
        saved[f"orientation-{orientation}.jpg"] = (rgb, {"quality": 95, "exif": exif.tobytes()})
    expected = {}
    for name, (picture, options) in saved.items():
        picture.save(path(name), **options)
        expected[name] = flattened(Image.open(path(name)))
    # 16 bits a channel: ImageMagick makes each value v 257·v, so the 8-bit source is expected.
    grey = ["-define", "png:color-type=0"]
    for name, source, options in (("rgb48.png", rgb, []), ("grey16.png", rgb.convert("L"), grey)):
        source.save(path("source.png"))
        subprocess.run(["convert", path("source.png"), "-depth", "16", *options, "-define", "png:bit-depth=16",
                        path(name)], check=True)
        expected[name] = source.convert("RGB")
    with open(path("manifest.txt"), "w") as manifest:
        for name, picture in expected.items():
            open(path(name + ".rgb"), "wb").write(picture.tobytes())
            tolerance = 2 if name == "grey.jpg" else 3 if name.endswith(".jpg") else 0
            manifest.write(f"{name} {picture.width} {picture.height} {tolerance}\n")

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
    main(sys.argv[1])
