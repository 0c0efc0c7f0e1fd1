"""Draws docs/photo.jpg, the photo-like picture of the README's screenshot: an evening sky,
a sun, two mountain ridges and a lake that mirrors them, with a little grain.

usage: make_photo.py OUTPUT.jpg
"""
import random
import sys

from PIL import Image, ImageDraw, ImageFilter

W, H = 960, 640
HORIZON = 420
random.seed(13)

sky = Image.new("RGB", (W, H))
pixels = sky.load()
for y in range(H):
    t = y / HORIZON
    colour = (int(40 + 215 * t ** 1.5), int(60 + 120 * t ** 2), int(140 - 60 * t)) if y < HORIZON else (0, 0, 0)
    for x in range(W):
        pixels[x, y] = colour
draw = ImageDraw.Draw(sky)
for radius, alpha in ((150, 40), (90, 80), (45, 255)):
    glow = Image.new("L", (W, H), 0)
    ImageDraw.Draw(glow).ellipse((640 - radius, 215 - radius, 640 + radius, 215 + radius), fill=alpha)
    sky.paste((255, 236, 180), mask=glow.filter(ImageFilter.GaussianBlur(radius / 3)))


def ridge(base, roughness, colour):
    points = [base + random.uniform(-60, 60) for _ in range(2)]
    for _ in range(7):  # midpoint displacement
        nxt = []
        for a, b in zip(points, points[1:]):
            nxt += [a, (a + b) / 2 + random.uniform(-roughness, roughness)]
        points = nxt + [points[-1]]
        roughness *= 0.55
    step = W / (len(points) - 1)
    outline = [(i * step, min(p, HORIZON)) for i, p in enumerate(points)]
    draw.polygon(outline + [(W, HORIZON), (0, HORIZON)], fill=colour)


ridge(250, 120, (92, 70, 96))
ridge(365, 60, (48, 40, 62))

# The lake: the sky and the ridges upside down, darker and rippled.
land = sky.crop((0, 2 * HORIZON - H, W, HORIZON)).transpose(Image.FLIP_TOP_BOTTOM)
water = Image.new("RGB", land.size)
for y in range(land.height):
    shift = int(4 * ((y * 7919) % 5 - 2) * (y / land.height))
    row = land.crop((0, y, W, y + 1)).transform((W, 1), Image.AFFINE, (1, 0, shift, 0, 1, 0))
    water.paste(row, (0, y))
water = Image.blend(water, Image.new("RGB", water.size, (20, 30, 60)), 0.35)
sky.paste(water, (0, HORIZON))

grain = Image.effect_noise((W, H), 18).convert("RGB")
photo = Image.blend(sky.filter(ImageFilter.GaussianBlur(1.2)), grain, 0.06)
photo.save(sys.argv[1], quality=88)
