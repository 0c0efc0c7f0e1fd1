"""Driving the real Lumivert window from outside: a virtual screen (Xvfb), the program on it,
and the clicks, keys, drags and clipboard reads of a person (xdotool, xclip).

Used by bench/compare_window.py (the time a user sees) and scripts/soak/soak.py (a long
day of random actions). Every process started here runs in a session of its own, so that
close() ends it with everything it started.
"""

import ctypes
import os
import pathlib
import signal
import subprocess
import time

TWIPS_PER_PIXEL = 15

# Where the window's controls are, in twips from the window's corner: a frame's corner
# plus the control's place in it (the design of the main window).
PNG_FRAME, GIF_FRAME, JPG_FRAME, BMP_FRAME, EFFECT_FRAME = (6600, 120), (6600, 960), (6600, 1800), (6600, 2640), \
    (6600, 3480)
ENGINE_FRAME = (EFFECT_FRAME[0] + 3900, EFFECT_FRAME[1] + 560)


def control(frame, left, top, width, height, option=False):
    """The pixel to click: an option's button (its left end) or a button's middle."""
    x = frame[0] + left + (120 if option else width // 2)
    y = frame[1] + top + height // 2
    return x // TWIPS_PER_PIXEL, y // TWIPS_PER_PIXEL


PNG_BUTTON = control(PNG_FRAME, 3960, 320, 855, 280)
GIF_BUTTON = control(GIF_FRAME, 3960, 300, 855, 280)
JPG_BUTTON = control(JPG_FRAME, 3960, 320, 855, 280)
BMP_BUTTON = control(BMP_FRAME, 3960, 280, 855, 280)
EFFECT_BUTTON = control(EFFECT_FRAME, 3960, 240, 855, 280)
PIXELS = control(ENGINE_FRAME, 80, 240, 800, 180, option=True)
DIBITS = control(ENGINE_FRAME, 80, 480, 800, 180, option=True)
JPG_QUALITY_BOX = control(JPG_FRAME, 1200, 300, 480, 270)
OPEN_HTML_BOX = control((0, 0), 6630, 4980, 4695, 255, option=True)
PICTURE_BOX = control((0, 0), 120, 120, 6300, 5175)

# The options of each group, by index.
PNG_COLOURS = [control(PNG_FRAME, left, 330, width, 255, True)
               for left, width in ((840, 495), (1440, 495), (2040, 495), (2640, 615), (3240, 615))]
GIF_COLOURS = [control(GIF_FRAME, left, 330, width, 180, True)
               for left, width in ((840, 495), (1440, 495), (2040, 495), (2640, 495), (3240, 735))]
BMP_DEPTHS = [control(BMP_FRAME, left, 330, width, 180, True)
              for left, width in ((840, 615), (1560, 735), (2300, 855), (3140, 735))]
EFFECTS = [control(EFFECT_FRAME, left, top, width, 255, True)
           for left, top, width in ((840, 260, 495), (1440, 260, 495), (2040, 260, 495), (2640, 260, 495),
                                    (3240, 260, 495), (840, 610, 495), (1440, 610, 495), (2040, 610, 855),
                                    (2880, 610, 1095), (840, 960, 975), (1920, 960, 1335))]


class Session:
    """A virtual screen, and the program started on it from program (a copy in a folder the
    caller owns, since the program writes its files beside itself).

    user: run the program under this user name (as root only), for a person's permissions.
    env: more environment for the program."""

    def __init__(self, program, arguments=(), env=None, user=None, log=None, wait=60, screen="1920x1200x24"):
        self.program = str(program)
        self.user = user
        self.wait = wait
        self.log = log if log is not None else open(os.devnull, "w")
        self.screen_process = None
        self.process = None
        reader, writer = os.pipe()
        try:
            self.screen_process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(writer), "-screen", "0", screen, "-nolisten", "tcp", "-maxclients", "2048"],
                pass_fds=[writer], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True,
                preexec_fn=die_with_parent)
            os.close(writer)
            writer = -1
            with os.fdopen(reader, "r") as display:
                reader = -1
                number = display.readline().strip()
            if not number:
                raise RuntimeError("the virtual screen did not start")
        finally:
            for fd in (reader, writer):
                if fd >= 0:
                    os.close(fd)
        self.env = dict(os.environ, DISPLAY=":" + number)
        self.program_env = dict(self.env, **(env or {}))
        self.start(arguments)

    def start(self, arguments=()):
        """Starts the program and waits for its window."""
        command = [self.program, *arguments]
        if self.user:
            command = ["setpriv", "--reuid", self.user, "--regid", self.user_group(), "--clear-groups",
                       "--pdeathsig", "KILL", "--", *command]
        self.process = subprocess.Popen(command, env=self.program_env, stdout=self.log, stderr=subprocess.STDOUT,
                                        start_new_session=True, preexec_fn=die_with_parent)
        self.window = None
        deadline = time.monotonic() + self.wait
        while time.monotonic() < deadline and self.process.poll() is None:
            found = [w for w in self.windows() if self.window_name(w).startswith("BMPを指定画像に変換する")]
            if found:
                self.window = found[0]
                break
            time.sleep(0.1)
        if self.window is None:
            raise RuntimeError(f"no window within {self.wait} s (program {'ended' if self.process.poll() is not None else 'runs'})")
        time.sleep(0.5)  # the first paint

    def user_group(self):
        import grp
        import pwd
        return grp.getgrgid(pwd.getpwnam(self.user).pw_gid).gr_name

    @property
    def pid(self):
        return self.process.pid

    def xdotool(self, *arguments, check=True, timeout=20):
        done = subprocess.run(["xdotool", *map(str, arguments)], env=self.env, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True, timeout=timeout)
        if check and done.returncode != 0:
            raise RuntimeError(f"xdotool {' '.join(map(str, arguments))} failed")
        return done.stdout

    def windows(self, name=None, visible=True):
        """Window ids, by a part of the title (a regular expression) or all the program's."""
        arguments = ["search"] + (["--onlyvisible"] if visible else [])
        arguments += ["--name", name] if name else ["--class", "lumivert"]
        return self.xdotool(*arguments, check=False).split()

    def window_name(self, window):
        return self.xdotool("getwindowname", window, check=False).strip()

    def window_origin(self, window=None):
        text = self.xdotool("getwindowgeometry", window or self.window)
        x, y = text.split("Position:")[1].split()[0].split(",")
        return int(x), int(y)

    def click(self, *points, button=1, window=None):
        """Clicks each point in turn (one xdotool for all)."""
        arguments = []
        for x, y in points:
            arguments += ["mousemove", "--window", window or self.window, x, y, "click", button]
        self.xdotool(*arguments)

    def key(self, *keys, window=None):
        if window:
            self.xdotool("windowfocus", "--sync", window, check=False)
        self.xdotool("key", "--clearmodifiers", *keys)

    def type(self, text):
        self.xdotool("type", "--delay", 2, "--", text)

    def clipboard(self, timeout=10):
        """The clipboard's text as its owner answers it; None when the owner does not answer
        within timeout (a frozen program) or nobody owns it."""
        try:
            done = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.env, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, timeout=timeout)
        except subprocess.TimeoutExpired:
            return None
        return done.stdout.decode("utf-8", "replace") if done.returncode == 0 else None

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", str(path)], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)

    def stop_program(self):
        if self.process is not None and self.process.poll() is None:
            end_group(self.process)
        self.process = None

    def close(self):
        self.stop_program()
        if self.screen_process is not None:
            end_group(self.screen_process)
            self.screen_process = None


def die_with_parent():
    """In a child before exec: killed when the process that started it ends, even by SIGKILL
    (a test's time-out), so that no screen or program is left behind."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def end_group(process, grace=3):
    """Ends a process started in a session of its own, and everything in its group."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(process.pid, sig)
        except (ProcessLookupError, PermissionError):
            pass
        try:
            process.wait(grace)
            return
        except subprocess.TimeoutExpired:
            continue


def processes_holding(text):
    """Process ids whose command line holds text (a private folder's path)."""
    found = []
    for entry in pathlib.Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            if text.encode() in (entry / "cmdline").read_bytes():
                found.append(int(entry.name))
        except OSError:
            continue
    return found


def kill_holding(text):
    """Ends the processes whose command line holds text (browsers started in sessions of their own)."""
    for pid in processes_holding(text):
        try:
            os.kill(pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass
