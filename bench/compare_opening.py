"""The opening row of bench/compare: how long a photo takes from its file to a picture ready
to save, in Lumivert (lumivert_open_driver: decoded into the picture box's bitmap, the saves'
memory made ready, the display drawn), in libjpeg-turbo's djpeg (decoding to /dev/null) and
in Pillow (Image.open and load, in process).

The photos are drawn by bench/make_large_photo.py (1920 × 1080 and 6000 × 4000, JPEG). Ours
and djpeg run as a fresh process each time (ours: the first opening of a fresh program, and
the later ones of the same program); Pillow decodes in one process after one opening kept
apart. Wall-clock and processor medians; on a busy machine the processor time is the steadier.
"""

import pathlib
import resource
import statistics
import subprocess
import sys
import time

PYTHON = "/usr/bin/python3"  # Debian's, with Pillow
HERE = pathlib.Path(__file__).resolve().parent
PHOTOS = ("1920x1080", "6000x4000")
PILLOW_OPEN = """
import resource, sys, time
from PIL import Image
def cpu():
    u = resource.getrusage(resource.RUSAGE_SELF)
    return u.ru_utime + u.ru_stime
for run in range(int(sys.argv[2])):
    c, t = cpu(), time.perf_counter()
    with Image.open(sys.argv[1]) as picture:
        picture.load()
    print("run", time.perf_counter() - t, cpu() - c, flush=True)
"""


def photo(size, work):
    path = work / f"photo_{size}.jpg"
    if not path.exists():
        print(f"drawing the {size} photo (once, kept in {work})", file=sys.stderr)
        subprocess.run([PYTHON, str(HERE / "make_large_photo.py"), size, str(path)], check=True)
    return path


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def runs_of(text):
    """(wall, processor, processor of the opening thread) of each run; djpeg and Pillow run on one thread."""
    runs = [tuple(float(v) for v in line.split()[1:4]) for line in text.splitlines() if line.startswith("run ")]
    return [run if len(run) == 3 else (*run, run[1]) for run in runs]


def measure(open_driver, path, rounds):
    times = {"ours first": [], "ours": [], "djpeg": [], "pillow": []}
    for _ in range(rounds):  # the tools take turns, so that the machine's load touches all alike
        ours = runs_of(subprocess.run([str(open_driver), str(path), "3"], check=True, stdout=subprocess.PIPE,
                                      text=True).stdout)
        times["ours first"].append(ours[0])
        times["ours"].extend(ours[1:])
        cpu, start = children_cpu(), time.perf_counter()
        subprocess.run(["djpeg", "-outfile", "/dev/null", str(path)], check=True)
        djpeg_cpu = children_cpu() - cpu
        times["djpeg"].append((time.perf_counter() - start, djpeg_cpu, djpeg_cpu))
        pillow = runs_of(subprocess.run([PYTHON, "-c", PILLOW_OPEN, str(path), "3"], check=True,
                                        stdout=subprocess.PIPE, text=True).stdout)
        times["pillow"].extend(pillow[1:])
    return {tool: tuple(statistics.median(run[i] for run in values) for i in range(3)) for tool, values in times.items()}


def opening_table(open_driver, work, rounds=5):
    """The markdown section: one row per photo."""
    rows = []
    for size in PHOTOS:
        path = photo(size, work)
        print(f"measuring the opening of {path.name} …", file=sys.stderr)
        m = measure(open_driver, path, rounds)
        cell = lambda tool: f"{m[tool][0] * 1000:.0f} ({m[tool][1] * 1000:.0f}, {m[tool][2] * 1000:.0f})"
        wall, processor, thread = (m["ours first"][i] / m["djpeg"][i] if m["djpeg"][i] else float("nan")
                                   for i in range(3))
        rows.append(f"| {size} | {cell('ours first')} | {cell('ours')} | {cell('djpeg')} | {cell('pillow')} | "
                    f"{wall:.2f}{' ✓' if wall <= 1.5 else ' ✗'} | {processor:.2f} | "
                    f"{thread:.2f}{' ✓' if thread <= 1.5 else ' ✗'} |")
    return "\n".join([
        "### Opening a photo (JPEG)", "",
        "Milliseconds, wall clock (processor time of the process, and of the opening thread alone, in brackets), "
        "medians. Ours: from the file to the picture "
        "ready to save (decoded into the picture's bitmap, the saves' memory made ready, the display drawn); "
        "djpeg: decoding to /dev/null; Pillow: Image.open and load. Goal: ours (fresh program) ≤ 1.5 × djpeg "
        "in wall-clock time. Our processor time also holds the saves' memory made ready on a second thread "
        "(the kernel zeroing 8 bytes a pixel), which a fresh program pays and djpeg has no need of; on an idle "
        "machine of two cores or more the wall-clock time follows the opening thread's. On a busy machine "
        "the wall clock measures the waiting for a core: compare the opening thread's processor time.", "",
        "| photo | ours, fresh program | ours, later openings | djpeg | Pillow | ours / djpeg, wall | "
        "ours / djpeg, processor | ours / djpeg, opening thread |",
        "|---|---|---|---|---|---|---|---|", *rows])
