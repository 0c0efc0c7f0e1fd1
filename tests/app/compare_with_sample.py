"""Decodes a picture the program wrote (Pillow, independent of the program's codecs) and
compares it with the sample picture. Prints one JSON object.

usage: compare_with_sample.py SAMPLE.bmp WRITTEN [key=R,G,B] [expect=same|grey|reverse]
"""
import json
import sys

from PIL import Image


def main():
    sample_path, written_path = sys.argv[1], sys.argv[2]
    options = dict(arg.split("=", 1) for arg in sys.argv[3:])
    key = tuple(int(v) for v in options["key"].split(",")) if "key" in options else None
    expect = options.get("expect", "same")

    sample = Image.open(sample_path).convert("RGB")
    written = Image.open(written_path)
    facts = {
        "format": written.format,
        "mode": written.mode,
        "size": list(written.size),
        "bits": written.info.get("bits") if written.format == "BMP" else None,
        "palette": len(written.getpalette()) // 3 if written.mode == "P" else 0,
        "hasTransparency": "transparency" in written.info or written.mode in ("RGBA", "LA", "PA"),
    }
    if written.format == "BMP":
        with open(written_path, "rb") as raw:
            header = raw.read(30)
        facts["bits"] = int.from_bytes(header[28:30], "little")
    if written.format == "JPEG":
        tables = written.quantization
        facts["lumaQuant"] = list(tables[0])

    rgba = written.convert("RGBA")
    facts["transparent"] = 0
    facts["transparentNotKey"] = 0  # transparent pixels whose sample colour is not the key
    facts["keyNotTransparent"] = 0  # pixels of the key colour left opaque
    facts["mismatches"] = 0         # opaque pixels that differ from what was expected
    facts["maxDiff"] = 0
    if rgba.size == sample.size:
        for s, w in zip(sample.getdata(), rgba.getdata()):
            transparent = w[3] == 0
            if transparent:
                facts["transparent"] += 1
                if s != key:
                    facts["transparentNotKey"] += 1
                continue
            if s == key:
                facts["keyNotTransparent"] += 1
            if expect == "grey":
                g = (s[0] + s[1] + s[2] + 1) // 3
                wanted = (g, g, g)
            elif expect == "reverse":
                wanted = tuple(255 - c for c in s)
            else:
                wanted = s
            diff = max(abs(a - b) for a, b in zip(wanted, w[:3]))
            if diff:
                facts["mismatches"] += 1
                facts["maxDiff"] = max(facts["maxDiff"], diff)
    print(json.dumps(facts))


if __name__ == "__main__":
    main()
