"""The time a user sees: bench/compare --window.

Starts the real program on a virtual screen (Xvfb), clicks each save button several times
with a pause like a person's between clicks (after the browser has shown the page), reads
the time from the OpenMe.html the click wrote, and puts beside it the in-process medians of
the same saver from lumivert_save_driver in the same run, between the clicks: warm (after
two saves) and the first save of a fresh process. A picture other than the sample is passed to the program as
`lumivert PICTURE`.

The program runs from a scratch copy of itself (it writes its files beside itself) with its
own TMPDIR, so that the browser profiles it makes can be found and ended afterwards.
"""

import pathlib
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "scripts"))
from window_session import (BMP_BUTTON, BMP_FRAME, DIBITS, EFFECT_BUTTON, EFFECT_FRAME, GIF_BUTTON, GIF_FRAME,  # noqa: E402
                            JPG_BUTTON, PIXELS, PNG_BUTTON, PNG_FRAME, control, kill_holding)
import window_session  # noqa: E402

# Saver name (as lumivert_save_driver knows it) → the clicks of one save, the last one the
# save button. The JPEG quality stays at the window's 100.
WINDOW_CASES = {
    "bmp1": [control(BMP_FRAME, 840, 330, 615, 180, True), BMP_BUTTON],
    "bmp8": [control(BMP_FRAME, 2300, 330, 855, 180, True), BMP_BUTTON],
    "bmp32": [control(BMP_FRAME, 3140, 330, 735, 180, True), BMP_BUTTON],
    "png": [control(PNG_FRAME, 3240, 330, 615, 255, True), PNG_BUTTON],
    "png-key": [control(PNG_FRAME, 840, 330, 495, 255, True), PNG_BUTTON],
    "gif-own-key": [control(GIF_FRAME, 840, 330, 495, 180, True), GIF_BUTTON],
    "jpeg100": [JPG_BUTTON],
    "grey": [control(EFFECT_FRAME, 840, 260, 495, 255, True), DIBITS, EFFECT_BUTTON],
    "sepia": [control(EFFECT_FRAME, 2040, 610, 855, 255, True), DIBITS, EFFECT_BUTTON],
    "emboss": [control(EFFECT_FRAME, 840, 960, 975, 255, True), DIBITS, EFFECT_BUTTON],
    "grey-pixels": [control(EFFECT_FRAME, 840, 260, 495, 255, True), PIXELS, EFFECT_BUTTON],
    # Every format at once: a key, not clicks; its own page carries the whole action's time.
    "compare": "ctrl+shift+c",
}
# The file each case's page must name: a click that missed its option would save another.
SAVED_FILE = {"bmp1": "Sample1.bmp", "bmp8": "Sample8.bmp", "bmp32": "Sample32.bmp", "png": "Sample.png",
              "png-key": "Sample.png", "gif-own-key": "Sample.gif", "jpeg100": "Sample.jpg",
              "grey": "SampleGrayScale.bmp", "sepia": "SampleSepia.bmp", "emboss": "SampleEmboss.bmp",
              "grey-pixels": "SampleGrayScale.bmp", "compare": "Compare/Sample32.bmp"}
DEFAULT_CASES = ["bmp1", "bmp32", "png", "gif-own-key", "jpeg100", "grey", "emboss", "grey-pixels", "compare"]

TIME_TEXT = re.compile(r"([0-9]+(?:[.,][0-9]+)?)(ミリ秒|秒)")
COMPARE_TIME = re.compile(r'<meta name="lumivert-compare-total-ms" content="([0-9.]+)">')


def page_of(case):
    return "Compare.html" if case == "compare" else "OpenMe.html"


def page_time(page, saved_file):
    """The time on a result page, in seconds; None when the page shows none. The page must
    name saved_file."""
    try:
        text = page.read_bytes().decode("utf-8" if page.name == "Compare.html" else "cp932", errors="replace")
    except OSError:
        return None
    if page.name == "Compare.html":  # the whole comparison: saves, read-backs, measures, page
        found = COMPARE_TIME.search(text)
        return float(found.group(1)) / 1000 if found else None
    if saved_file not in text:
        raise RuntimeError(f"the result page names no {saved_file}: a click missed its control")
    found = TIME_TEXT.search(text)
    if not found:
        return None
    value = float(found.group(1).replace(",", "."))
    return value / 1000 if found.group(2) == "ミリ秒" else value


class Session(window_session.Session):
    """A virtual screen with the program on it, from a scratch copy with its own TMPDIR."""

    def __init__(self, program, picture, scratch, wait=60):
        self.scratch = scratch
        self.temp = scratch / "tmp"
        self.temp.mkdir()
        shutil.copy2(program, scratch / "lumivert")
        self.log_file = open(scratch / "program.log", "w")
        super().__init__(scratch / "lumivert", [] if picture is None else [str(picture)],
                         env={"TMPDIR": str(self.temp)}, log=self.log_file, wait=wait)

    def click(self, x, y):
        super().click((x, y))

    def browser_windows(self):
        return set(self.windows_of_class("chromium"))

    def windows_of_class(self, name):
        return self.xdotool("search", "--onlyvisible", "--class", name, check=False).split()

    def save(self, clicks, saved_file, pause, wait=60, page_name="OpenMe.html"):
        """Clicks (or presses the keys), waits for the page and the browser showing it, then
        pauses; the time shown."""
        page = self.scratch / page_name
        before = page.stat().st_mtime_ns if page.exists() else None
        windows_before = self.browser_windows()
        if isinstance(clicks, str):
            subprocess.run(["xdotool", "windowfocus", "--sync", self.window, "key", "--clearmodifiers", clicks],
                           env=self.env, check=True)
        for x, y in [] if isinstance(clicks, str) else clicks:
            self.click(x, y)
        deadline = time.monotonic() + wait
        while not page.exists() or page.stat().st_mtime_ns == before:
            if time.monotonic() > deadline:
                raise RuntimeError("no result page within %d s" % wait)
            time.sleep(0.02)
        time.sleep(0.05)  # the page is written in one piece, but let the writer finish
        shown = page_time(page, saved_file)
        # A person clicks again once the page is there: the browser's new window.
        while not (self.browser_windows() - windows_before) and time.monotonic() < deadline:
            time.sleep(0.05)
        time.sleep(pause)
        return shown

    def close(self):
        super().close()
        # The browsers the program started run in sessions of their own: end those whose
        # profile lies in this session's TMPDIR.
        kill_holding(str(self.temp))
        self.log_file.close()


def driver_times(driver, picture_path, saver, output, runs, warm_up):
    """One fresh lumivert_save_driver process: its first save, and its saves after warm_up."""
    text = subprocess.run([str(driver), picture_path, saver, str(output), str(runs)], check=True,
                          stdout=subprocess.PIPE, text=True).stdout
    times = [float(line.split()[1]) for line in text.splitlines() if line.startswith("run ")]
    return times[0], times[warm_up:]


def ms(seconds):
    return "—" if seconds is None else f"{seconds * 1000:.2f}"


def saved_size(folder):
    """Width and height of a BMP the program saved in folder, or None when it saved none."""
    for path in sorted(folder.glob("Sample*.bmp")) + sorted(folder.glob("Compare/Sample*.bmp")):
        header = path.read_bytes()[:26]
        if len(header) == 26:
            return int.from_bytes(header[18:22], "little"), abs(int.from_bytes(header[22:26], "little", signed=True))
    return None


def measure_window(program, driver, picture, cases, clicks, pause, warm_up, quick, size=None):
    """One table row per saver: the window's times and the driver's medians. The driver runs
    between the clicks (one fresh process a click), so that both meet the machine's load
    alike: after the pause, once the browser has settled, and right before
    the click. With size (width, height), a BMP the window saved must have it:
    a program that did not open the picture would otherwise be timed on its sample."""
    rows = []
    scratch = pathlib.Path(tempfile.mkdtemp(prefix="lumivert-window."))
    picture_path = "sample" if picture is None else str(picture)
    session = None
    try:
        session = Session(program, picture, scratch)
        for case in cases:
            shown, first, warm = [], [], []
            for _ in range(clicks):
                # The pause first, so that the browser's start-up disturbs neither, then the
                # driver, then the click.
                time.sleep(pause)
                if case != "compare":  # no single saver in process to set beside the comparison
                    fresh, later = driver_times(driver, picture_path, case, scratch / f"driver-{case}",
                                                warm_up + (3 if quick else 5), warm_up)
                    first.append(fresh)
                    warm.extend(later)
                shown.append(session.save(WINDOW_CASES[case], SAVED_FILE[case], pause=0, page_name=page_of(case)))
            saved = saved_size(scratch)
            if size and saved and tuple(saved) != tuple(size):
                raise RuntimeError(f"the window saved a {saved[0]} × {saved[1]} picture, not {picture} "
                                   f"({size[0]} × {size[1]}): this program does not open a picture given "
                                   f"on its command line")
            times = [t for t in shown if t is not None]
            rows.append({"case": case, "window": statistics.median(times) if times else None,
                         "window first": times[0] if times else None, "all": times,
                         "warm": statistics.median(warm) if warm else None,
                         "first": statistics.median(first) if first else None})
    finally:
        if session is not None:
            session.close()
        shutil.rmtree(scratch, ignore_errors=True)
    return rows


def window_table(label, width, height, rows):
    lines = [f"### In the window: {label} ({width} × {height})", "",
             "| saver | window median ms | window first click ms | window clicks ms | in process warm ms "
             "| in process first save ms | window / warm | first / warm |",
             "|---|---|---|---|---|---|---|---|"]
    for row in rows:
        ratio = f"{row['window'] / row['warm']:.2f}" if row["window"] is not None and row["warm"] else "—"
        first = f"{row['first'] / row['warm']:.2f}" if row["warm"] and row["first"] else "—"
        clicks = " ".join(f"{t * 1000:.0f}" for t in row["all"])
        lines.append(f"| {row['case']} | {ms(row['window'])} | {ms(row['window first'])} | {clicks} | "
                     f"{ms(row['warm'])} | {ms(row['first'])} | {ratio} | {first} |")
    return "\n".join(lines)
