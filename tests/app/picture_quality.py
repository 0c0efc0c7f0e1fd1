#!/usr/bin/env python3
"""PSNR and SSIM of a copy against an original, computed directly in double precision.

Reads JSON {"width", "height", "original": [0xRRGGBB...], "copy": [0xAARRGGBB...]} from
standard input; a copy pixel with alpha below 255 is laid over the original's. Prints PSNR
("inf" when equal) and SSIM ("none" under 11 x 11) as Wang et al. published it: the 11 x 11
Gaussian window (sigma 1.5) on the luma, K1 0.01, K2 0.03, every window inside the picture.
"""
import json
import math
import sys


def channels(p):
    return [(p >> 16) & 255, (p >> 8) & 255, p & 255]


def shown(original, copy):
    alpha = copy >> 24
    return [(c * alpha + o * (255 - alpha) + 127) // 255 for c, o in zip(channels(copy), channels(original))]


def main():
    data = json.load(sys.stdin)
    w, h = data["width"], data["height"]
    x = [channels(p) for p in data["original"]]
    y = [shown(o, c) for o, c in zip(data["original"], data["copy"])]
    error = sum((a - b) ** 2 for p, q in zip(x, y) for a, b in zip(p, q))
    psnr = "inf" if error == 0 else repr(10 * math.log10(255 ** 2 * 3 * w * h / error))
    if w < 11 or h < 11:
        print(psnr, "none")
        return
    luma = lambda rgb: 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2]
    lx, ly = [luma(p) for p in x], [luma(p) for p in y]
    g = [math.exp(-((i - 5) ** 2) / (2 * 1.5 ** 2)) for i in range(11)]
    window = [[a * b for b in g] for a in g]
    total = sum(map(sum, window))
    c1, c2 = (0.01 * 255) ** 2, (0.03 * 255) ** 2
    ssim = []
    for top in range(h - 10):
        for left in range(w - 10):
            mx = my = sxx = syy = sxy = 0.0
            for i in range(11):
                for j in range(11):
                    k = window[i][j] / total
                    a, b = lx[(top + i) * w + left + j], ly[(top + i) * w + left + j]
                    mx += k * a; my += k * b; sxx += k * a * a; syy += k * b * b; sxy += k * a * b
            vx, vy, cxy = sxx - mx * mx, syy - my * my, sxy - mx * my
            ssim.append((2 * mx * my + c1) * (2 * cxy + c2) / ((mx * mx + my * my + c1) * (vx + vy + c2)))
    print(psnr, repr(sum(ssim) / len(ssim)))


main()
