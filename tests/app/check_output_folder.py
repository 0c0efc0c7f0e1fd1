#!/usr/bin/python3
"""The real program in a folder its user cannot write to, on a virtual screen, started as
`lumivert PICTURE`: a save of that picture lands in the user's pictures folder + Lumivert/,
with the result page beside it; a second `lumivert OTHER` hands its picture to the running
copy, whose next save is of that one; when Lumivert/ cannot be made, the save shows its
error box and writes nothing.

Run as root, the program runs as nobody (root may write anywhere)."""

import os
import random
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

from PIL import Image, ImageChops

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "scripts"))
from window_session import BMP_BUTTON, Session  # noqa: E402  (the real window driven from outside)

SKIP = 77
WAIT = 20


def wait_for(condition, what):
    deadline = time.monotonic() + WAIT
    while not condition():
        if time.monotonic() > deadline:
            raise TimeoutError(what)
        time.sleep(0.1)


def main(program):
    for tool in ("Xvfb", "xdotool"):
        if not shutil.which(tool):
            print(f"SKIP: no {tool}")
            return SKIP
    as_root = os.geteuid() == 0
    scratch = pathlib.Path(tempfile.mkdtemp(prefix="lumivert-output-"))
    session = None
    try:
        scratch.chmod(0o755)
        folder, home, runtime = scratch / "program", scratch / "home", scratch / "run"
        for made in (folder, home, runtime):
            made.mkdir()
        shutil.copy2(program, folder / "lumivert")
        folder.chmod(0o555)
        pictures = home / "写真"  # named by user-dirs.dirs, as xdg-user-dirs-update writes it
        (home / ".config").mkdir()
        (home / ".config" / "user-dirs.dirs").write_text('XDG_PICTURES_DIR="$HOME/写真"\n', encoding="utf-8")
        (home / "browser").write_text("#!/bin/sh\nexec sleep 60\n")
        (home / "browser").chmod(0o755)
        pictures.mkdir()  # the pictures folder exists, its Lumivert folder not yet: it is made
        if as_root:
            for path in (home, runtime, *home.rglob("*")):
                os.chown(path, 65534, 65534)
        runtime.chmod(0o700)
        first, other = scratch / "first.png", scratch / "写真 2.png"
        for path, size, seed in ((first, (61, 47), 1), (other, (33, 70), 2)):
            Image.frombytes("RGB", size, random.Random(seed).randbytes(size[0] * size[1] * 3)).save(path)

        env = {"HOME": str(home), "XDG_CONFIG_HOME": str(home / ".config"), "XDG_RUNTIME_DIR": str(runtime),
               "BROWSER": str(home / "browser"), "LANG": "C.UTF-8", "QT_QPA_PLATFORM": "xcb"}
        session = Session(folder / "lumivert", [str(first)], env=env, user="nobody" if as_root else None,
                          log=open(scratch / "program.log", "w"), wait=WAIT)
        saved, page = pictures / "Lumivert" / "Sample32.bmp", pictures / "Lumivert" / "OpenMe.html"
        failures = []

        def save_and_check(picture):
            session.click(BMP_BUTTON)
            wait_for(page.exists, f"no result page in the pictures folder after {picture.name}")
            time.sleep(0.2)
            with Image.open(saved) as got, Image.open(picture) as want:
                if got.size != want.size or ImageChops.difference(got.convert("RGB"), want).getbbox() is not None:
                    failures.append(f"the saved BMP is not {picture.name}")

        save_and_check(first)
        text = page.read_bytes().decode("cp932")
        if not all(part in text for part in (f'<base href="{pictures}/Lumivert/">', f"ファイル名：{saved}<br>",
                                              '<img src="Sample32.bmp">')):
            failures.append(f"the page does not show the saved file: {text}")
        if os.listdir(folder) != ["lumivert"]:
            failures.append(f"the program's folder holds {os.listdir(folder)}")

        # A second start hands its picture (named relative to its own folder) over and ends; the
        # running copy saves that one.
        as_user = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] if as_root else []
        handed = subprocess.run([*as_user, str(folder / "lumivert"), other.name], env=session.program_env,
                                cwd=scratch, timeout=WAIT)
        if handed.returncode != 0:
            failures.append(f"the second start ended with {handed.returncode}")
        time.sleep(1)  # the running copy opens it
        page.unlink()
        save_and_check(other)

        # Lumivert/ cannot be made (a file holds its name): the designed box, no file.
        shutil.rmtree(pictures / "Lumivert")
        (pictures / "Lumivert").write_text("not a folder")
        session.click(BMP_BUTTON)
        wait_for(lambda: session.windows("^エラーですよ$"), "no error box")
        if sorted(p.name for p in pictures.iterdir()) != ["Lumivert"]:
            failures.append(f"the pictures folder holds {os.listdir(pictures)}")
        print(*(f"FAIL: {failure}" for failure in failures), sep="\n")
        return 1 if failures else 0
    finally:
        if session is not None:
            session.close()
        if (scratch / "program").exists():
            (scratch / "program").chmod(0o755)  # so that its copy can be removed
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
