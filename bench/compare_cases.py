"""What bench/compare measures: each saver of Lumivert, the goal it is held to, and the
closest equivalent that ImageMagick and libvips offer on the command line (Pillow's are in
compare_pillow.py). None means the peer has no equivalent in one command.

Command templates use {input} (the picture: BMP for ImageMagick, the vips format for
libvips), {output}, and {work} (the folder with the palettes and matrices written by
write_peer_files). ImageMagick's are an operation and an output: convert can repeat them
on clones of the decoded picture in one process (magick_command), so its start-up and
decoding are paid once for several saves.
"""

from dataclasses import dataclass, field

MAGICK = "/usr/bin/convert-im6.q16"  # Debian's ImageMagick binary, not whichever convert PATH finds
VIPS = "vips"

# Start-up and input decoding, measured in the same run and subtracted from each command.
MAGICK_BASELINE = [MAGICK, "{input}", "null:"]
VIPS_BASELINE = [VIPS, "avg", "{input}"]


@dataclass(frozen=True)
class Goal:
    ratio: float                 # our median over the fastest peer's, at most
    limit_factor: float = None   # our median over writing the same bytes, at most
    size_vs_peer: bool = False   # our file no larger than the fastest peer's


@dataclass(frozen=True)
class Magick:
    operation: tuple
    output: str = "{output}"


def magick(*operation, output="{output}"):
    return Magick(tuple(operation), output)


@dataclass(frozen=True)
class Case:
    name: str          # also the saver's name in lumivert_save_driver
    extension: str
    what: str
    goal: Goal = None
    magick: Magick = None
    vips: list = None
    pillow: bool = True
    exact_colours: bool = False  # the output must hold the picture's colours exactly
    notes: list = field(default_factory=list)


def bmp3(*operation):
    return Magick(tuple(operation), "BMP3:{output}")


def magick_command(template, saves):
    """convert with the operation and write done saves times, or once plainly for 1."""
    if saves == 1:
        return [MAGICK, "{input}", *template.operation, template.output]
    group = ["(", "+clone", *template.operation, "-write", template.output, "+delete", ")"]
    return [MAGICK, "{input}", *group * saves, "null:"]


BMP_GOAL = Goal(ratio=0.75, limit_factor=1.5)

CASES = [
    Case("bmp1", "bmp", "BMP 1 bit, nearest of black and white", BMP_GOAL,
         magick=bmp3("+dither", "-remap", "{work}/palette1.png", "-type", "bilevel")),
    Case("bmp4", "bmp", "BMP 4 bits, nearest of the 16 standard colours", BMP_GOAL,
         magick=bmp3("+dither", "-remap", "{work}/palette4.png", "-type", "palette", "-compress", "none"),
         notes=["Pillow writes no 4-bit BMP: it writes the same colours at 8 bits"]),
    Case("bmp8", "bmp", "BMP 8 bits, nearest of the 3-3-2 colour cube", BMP_GOAL,
         magick=bmp3("+dither", "-remap", "{work}/palette8.png", "-type", "palette", "-compress", "none")),
    Case("bmp32", "bmp", "BMP 32 bits", BMP_GOAL,
         magick=magick("-alpha", "set", output="BMP:{output}"),
         vips=[VIPS, "bandjoin_const", "{input}", "{output}", "255"],
         notes=["ImageMagick and libvips write 32 bits with a 124-byte header and bit fields"]),
    Case("png", "png", "PNG, no transparent colour", Goal(ratio=1.0, size_vs_peer=True),
         magick=magick(output="PNG24:{output}"),
         vips=[VIPS, "pngsave", "{input}", "{output}"]),
    Case("png-key", "png", "PNG, black transparent", Goal(ratio=1.0, size_vs_peer=True),
         magick=magick("-transparent", "black", output="PNG32:{output}"),
         notes=["Pillow marks the colour with a tRNS chunk in an RGB file; Lumivert and "
                "ImageMagick write RGBA"]),
    Case("gif-own", "gif", "GIF, own exact palette", Goal(ratio=0.2),
         magick=magick("+dither"),
         vips=[VIPS, "gifsave", "{input}", "{output}", "--dither", "0"],
         exact_colours=True),
    Case("gif-own-key", "gif", "GIF, own exact palette, black transparent", Goal(ratio=0.2),
         magick=magick("+dither", "-transparent", "black"),
         exact_colours=False),
    Case("gif-encoder", "gif", "GIF, colours reduced by the encoder", Goal(ratio=0.75),
         magick=magick(),
         vips=[VIPS, "gifsave", "{input}", "{output}"],
         notes=["the peers' default GIF: their own reduction"]),
    Case("jpeg100", "jpg", "JPEG quality 100", Goal(ratio=1.0),
         magick=magick("-quality", "100"),
         vips=[VIPS, "jpegsave", "{input}", "{output}", "--Q", "100"]),
    Case("jpeg75", "jpg", "JPEG quality 75", Goal(ratio=1.0),
         magick=magick("-quality", "75"),
         vips=[VIPS, "jpegsave", "{input}", "{output}", "--Q", "75"]),
    Case("grey", "bmp", "effect grey scale (DIB engine), 32-bit BMP", BMP_GOAL,
         magick=bmp3("-grayscale", "Average", "-type", "TrueColor"),
         vips=[VIPS, "recomb", "{input}", "{output}", "{work}/grey.mat"],
         notes=["the peers' effects write their usual 24-bit BMP"]),
    Case("sepia", "bmp", "effect sepia (DIB engine), 32-bit BMP", BMP_GOAL,
         magick=bmp3("-sepia-tone", "80%"),
         vips=[VIPS, "linear", "{input}", "{output}", "0.48235 0.74118 1", "132 66 0", "--uchar"]),
    Case("negate", "bmp", "effect negate (DIB engine), 32-bit BMP", BMP_GOAL,
         magick=bmp3("-negate"),
         vips=[VIPS, "invert", "{input}", "{output}"]),
    Case("emboss", "bmp", "effect emboss (DIB engine), 32-bit BMP", BMP_GOAL,
         magick=bmp3("-define", "convolve:bias=50%", "-morphology", "Convolve",
                     "3x3: -0.5,0,0 0,0,0 0,0,0.5"),
         vips=[VIPS, "conv", "{input}", "{output}", "{work}/emboss.mat", "--precision", "integer"]),
    Case("grey-pixels", "bmp", "effect grey scale (Pixels engine: one call per pixel)",
         pillow=False),
]

BMP_LIKE = {case.name for case in CASES if case.extension == "bmp"}


def write_peer_files(work):
    """The fixed palettes and convolution matrices the peers' commands read."""
    from PIL import Image
    from compare_pillow import cube_colours, vga_colours

    for name, colours in (("palette1", [(0, 0, 0), (255, 255, 255)]), ("palette4", vga_colours()),
                          ("palette8", cube_colours())):
        image = Image.new("RGB", (len(colours), 1))
        image.putdata(colours)
        image.save(work / f"{name}.png")
    (work / "grey.mat").write_text("3 3\n" + "0.333333 0.333333 0.333333\n" * 3)
    (work / "emboss.mat").write_text("3 3 2 127\n-1 0 0\n0 0 0\n0 0 1\n")
