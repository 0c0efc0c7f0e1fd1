#!/usr/bin/python3
"""The memory the real program takes: opening a picture given on its command line, then one
save with each saver, each in a fresh program (bench/compare_window.py's virtual screen).

    bench/window_memory.py PICTURE [--build DIR] [--cases bmp32,grey] [--markdown FILE]

For each saver: the program starts with the picture (lumivert PICTURE), the peak resident
memory (VmHWM) is read once the opening has ended (the program's processor time stops
growing), then the saver's options and button are clicked, and the peak is read again once
the result page is written. The bound the program keeps: 3 × the picture at 32 bits
+ 100 MB for opening plus any one save.
"""

import argparse
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

from compare_window import (BMP_BUTTON, BMP_FRAME, DIBITS, EFFECT_BUTTON, EFFECT_FRAME, GIF_BUTTON,  # noqa: E402
                            GIF_FRAME, PIXELS, SAVED_FILE, WINDOW_CASES, Session, control)

ROOT = pathlib.Path(__file__).resolve().parent.parent
NO_COLOUR_GIF = control(GIF_FRAME, 3240, 330, 735, 180, True)

# Every saver: the clicks of compare_window and those it lacks; a key answers the GIF question.
CASES = dict(WINDOW_CASES)
CASES["bmp4"] = [control(BMP_FRAME, 1560, 330, 735, 180, True), BMP_BUTTON]
CASES["gif-own"] = [NO_COLOUR_GIF, GIF_BUTTON, "Return"]  # はい: the own palette
CASES["gif-encoder"] = [NO_COLOUR_GIF, GIF_BUTTON, "Tab", "space"]  # いいえ: the encoder's reduction
SAVED = dict(SAVED_FILE, bmp4="Sample4.bmp", **{"gif-own": "Sample.gif", "gif-encoder": "Sample.gif"})
EFFECTS = [("GrayScale", 840, 260, 495), ("Red", 1440, 260, 495), ("Blue", 2040, 260, 495),
           ("Green", 2640, 260, 495), ("Purple", 3240, 260, 495), ("Water", 840, 610, 495),
           ("Yellow", 1440, 610, 495), ("Sepia", 2040, 610, 855), ("Reverse", 2880, 610, 1095),
           ("Emboss", 840, 960, 975), ("EmbossFalse", 1920, 960, 1335)]
for tag, left, top, width in EFFECTS:
    for engine, option in (("dib", DIBITS), ("pixels", PIXELS)):
        name = f"{tag}-{engine}"
        CASES[name] = [control(EFFECT_FRAME, left, top, width, 255, True), option, EFFECT_BUTTON]
        SAVED[name] = f"Sample{tag}.bmp"
ORDER = ["bmp1", "bmp4", "bmp8", "bmp32", "png", "png-key", "gif-own-key", "gif-own", "gif-encoder", "jpeg100"] + \
    [f"{tag}-{engine}" for tag, *_ in EFFECTS for engine in ("dib", "pixels")]


def status_kib(pid, field):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith(field + ":"):
            return int(line.split()[1])
    raise RuntimeError(f"no {field} for process {pid}")


def processor_ticks(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def wait_until_idle(pid, quiet=1.0, wait=120):
    """Until the process has used no processor time for `quiet` seconds."""
    deadline = time.monotonic() + wait
    last, since = processor_ticks(pid), time.monotonic()
    while time.monotonic() < deadline:
        time.sleep(0.1)
        now = processor_ticks(pid)
        if now != last:
            last, since = now, time.monotonic()
        elif time.monotonic() - since >= quiet:
            return
    raise RuntimeError("the program did not settle")


class KeySession(Session):
    def press(self, key):
        time.sleep(1.0)  # the question box shows
        subprocess.run(["xdotool", "key", key], env=self.env, check=True)

    def save(self, clicks, saved_file, pause, wait=180):
        keys = [c for c in clicks if isinstance(c, str)]
        if not keys:
            return super().save(clicks, saved_file, pause, wait)
        page = self.scratch / "OpenMe.html"
        for x, y in (c for c in clicks if not isinstance(c, str)):
            self.click(x, y)
        for key in keys:
            self.press(key)
        deadline = time.monotonic() + wait
        while not page.exists():
            if time.monotonic() > deadline:
                raise RuntimeError("no result page within %d s" % wait)
            time.sleep(0.05)
        return None


def measure(program, picture, case):
    scratch = pathlib.Path(tempfile.mkdtemp(prefix="lumivert-memory."))
    session = None
    try:
        session = KeySession(program, picture, scratch, wait=120)
        pid = session.process.pid  # bash exec'd the program
        wait_until_idle(pid)
        opened = status_kib(pid, "VmHWM")
        session.save(CASES[case], SAVED[case], pause=0)
        wait_until_idle(pid, quiet=0.5)
        saved = status_kib(pid, "VmHWM")
        files = sorted(p.name for p in scratch.glob("Sample*"))
        if not files:
            raise RuntimeError(f"{case}: nothing saved")
        return opened * 1024, saved * 1024
    finally:
        if session is not None:
            session.close()
        shutil.rmtree(scratch, ignore_errors=True)


def picture_size(path):
    from PIL import Image
    with Image.open(path) as picture:
        return picture.size


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("picture", type=pathlib.Path)
    parser.add_argument("--build", type=pathlib.Path, default=ROOT / "build" / "default")
    parser.add_argument("--cases", help="comma-separated (default: every saver)")
    parser.add_argument("--markdown", type=pathlib.Path, help="also write the table to this file")
    arguments = parser.parse_args()
    program = arguments.build / "bin" / "lumivert"
    cases = arguments.cases.split(",") if arguments.cases else ORDER
    unknown = set(cases) - set(CASES)
    if unknown:
        sys.exit(f"unknown savers: {', '.join(sorted(unknown))} (known: {', '.join(ORDER)})")
    width, height = picture_size(arguments.picture)
    copy = width * height * 4
    bound = 3 * copy + 100_000_000  # 100 MB, as the bound is stated
    rows = []
    for case in cases:
        print(f"{case} …", file=sys.stderr)
        for attempt in (1, 2):  # a busy machine may miss a window's start once
            try:
                opened, saved = measure(program, arguments.picture.resolve(), case)
                break
            except RuntimeError as error:
                if attempt == 2:
                    sys.exit(f"{case}: {error}")
                print(f"{case}: {error}; once more", file=sys.stderr)
        rows.append(f"| {case} | {opened / 1e6:.0f} | {saved / 1e6:.0f} | {saved / copy:.2f} | "
                    f"{'yes' if saved <= bound else 'NO'} |")
        print(rows[-1], file=sys.stderr)
    report = "\n".join([f"### Peak memory of the program: {arguments.picture.name}, {width} × {height}", "",
                        f"VmHWM in MB (10^6 bytes); one copy of the picture at 32 bits is {copy / 1e6:.0f} MB, "
                        f"the bound (3 copies + 100 MB) {bound / 1e6:.0f} MB.", "",
                        "| saver | after opening | after opening and the save | in picture copies | within the bound |",
                        "|---|---|---|---|---|", *rows]) + "\n"
    print(report)
    if arguments.markdown:
        arguments.markdown.write_text(report)


if __name__ == "__main__":
    main()
