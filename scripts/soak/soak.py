#!/usr/bin/python3
"""A long day in one command: the real program on a virtual screen, driven by N random actions
of a person, with faults injected between them, checked after each one (scripts/soak.sh).

After each action: the program answers within 10 s (a clipboard request that its event loop
must serve), every file the action should have written decodes in Pillow and matches the
picture shown, a failed save left the old file byte for byte, and every message box is one
of the designed ones (its title as the window shows it, its text as the program logs every
box it shows) and answered.
Every 50 actions (at the sample picture) the program's descriptors and resident memory are
sampled. The summary lists actions, faults, failures by kind and the curve; screenshots of
failures are kept.
"""

import argparse
import collections
import hashlib
import os
import pathlib
import pwd
import random
import re
import select
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time

HERE = pathlib.Path(__file__).resolve().parent
SOURCE = HERE.parent.parent
sys.path.insert(0, str(SOURCE / "scripts"))
sys.path.insert(0, str(HERE))

import soak_pictures as pics  # noqa: E402
import window_session as ws  # noqa: E402

ANSWER_LIMIT = 10  # seconds the program has to answer after an action
MAIN_TITLE = "BMPを指定画像に変換する"
BMP_DEPTHS = [1, 4, 8, 32]
EFFECT_TAGS = ["GrayScale", "Red", "Blue", "Green", "Purple", "Water", "Yellow", "Sepia", "Reverse", "Emboss",
               "EmbossFalse"]
KEYS = [(0, 0, 0), (255, 255, 255), (0, 0, 255), (255, 0, 51), None]  # the transparency options, as RGB
QUALITY_TEXTS = ["100", "0", "75", "50.5", "-5", "250", " 80 ", "abc", "", "1e12", "+3", "99.5", "12e1"]
GIF_QUESTION = "どっち？"

# The designed message boxes: title → what the text must be (a regular expression).
FILE_ERROR = r"(ディスクの空き容量が不足しています。|書き込みできません。|パスが見つかりません。|ファイル名が正しくありません。" \
             r"|パス名が無効です。|デバイス I/O エラーです。)( \(.*\))?"
DESIGNED_BOXES = {
    "エラーですよ": FILE_ERROR + r"|GetDIBits API関数でエラーが発生したようですが…|オートメーション エラーです。.*",
    "ありゃりゃ": r"エラーが発生したっぽいです",
    "HTMLブラウザ表示エラー": FILE_ERROR,
    "入力エラー": r"0～100の値を設定してくださいな",
    "透過なしGIF出力": r"どっち？\n\n\(1\)自力実装処理で出力する場合\(ハーフトーンなし＆重い\) → \[はい\]\n"
                 r"\(2\)API でサクっと出力する場合\(ハーフトーンあり＆軽い\)     → \[いいえ\]",
    "画像を開く": r"画像を開けませんでした。\n\n.*\n\n.*",
    "残念": r"生成した画像をIEで開こうとしたのですが、HTMLドキュメントを取得できませんでした。",
    "ん？": r"WaitForInputIdle API関数でエラーが発生しました!!",
}


def is_numeric(text):
    return re.fullmatch(r"\s*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\s*", text) is not None


def quality_after(text):
    """(the text the box holds after the check, the quality saved) or None for 入力エラー."""
    if not is_numeric(text):
        return None
    value = round(float(text))  # halves to even
    if not -2 ** 31 <= value < 2 ** 31:
        return None
    if value < 0:
        return "0", 0
    if value > 100:
        return "100", 100
    return text, value


class Failure(Exception):
    """A finding: kind is the summary's heading, detail the reason."""

    def __init__(self, kind, detail):
        super().__init__(f"{kind}: {detail}")
        self.kind, self.detail = kind, detail


class Soak:
    def __init__(self, options):
        self.options = options
        self.rng = random.Random(options.seed)
        self.check_rng = random.Random(options.seed + 1)
        self.is_root = os.geteuid() == 0
        self.scratch = pathlib.Path(tempfile.mkdtemp(prefix="lumivert-soak."))
        os.chmod(self.scratch, 0o755)
        self.folder = self.scratch / "program"
        self.mounted = False
        self.session = None
        self.counts = collections.Counter()
        self.faults = collections.Counter()
        self.failures = collections.defaultdict(list)
        self.skipped = {}
        self.curve = []
        self.restarted_at = 0  # the goals are judged on the last program's run, after its warm-up
        self.restarts = 0
        self.done = 0
        self.started_at = time.monotonic()
        self.screenshots = pathlib.Path(options.keep)
        self.mode_document = False
        self.quality_text = "100"
        self.transparent = {"png": 0, "gif": 0}
        self.depth = 3
        self.effect, self.pixels_engine = 0, False
        self.old_tools = []
        self.largest_opened = 420 * 345
        self.failed_in_row, self.last_failed = 0, -1

    # --- setting up and tearing down --------------------------------------------------------

    def prepare(self):
        self.folder.mkdir()
        if self.is_root:
            self.size = f"{self.options.folder_mib}m"
            subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={self.size},mode=0755", "lumivert-soak",
                            str(self.folder)], check=True)
            self.mounted = True
        else:
            self.skipped["folder full"] = "needs root to mount a small file system"
        self.user = "nobody" if self.is_root else None  # a person, whom permissions bind
        home = self.scratch / "home"
        for sub in ("", "tmp", "run", "elsewhere"):
            (home / sub).mkdir(exist_ok=True)
            os.chmod(home / sub, 0o700)
        self.elsewhere = home / "elsewhere"
        # A file where the pictures folder would be: a save into a folder the user cannot
        # write then fails as it did before the program learnt to fall back to that folder,
        # so the faults below stay faults (the fallback has a test of its own).
        (home / "Pictures").write_text("not a folder\n")
        self.browser_log = home / "browser.log"
        self.browser_log.touch()
        if self.is_root:
            owner = pwd.getpwnam("nobody")
            for path in [self.folder, *home.rglob("*"), home]:
                os.chown(path, owner.pw_uid, owner.pw_gid)
        shutil.copy2(self.options.program, self.folder / "lumivert")
        # The browser: named as Chromium so that the program treats it as one. On the blank
        # page (the document mode) it is the real Chromium, headless; on a page file it is a
        # light reader that records the page it was given and stays a few seconds, as a
        # browser window would.
        browser = self.scratch / "bin" / "chromium"
        browser.parent.mkdir()
        browser.write_text(
            "#!/bin/sh\n"
            "for argument; do\n"
            "  [ \"$argument\" = --remote-debugging-pipe ] && exec /usr/bin/chromium --headless --no-sandbox "
            "--disable-gpu --disable-breakpad --disable-background-networking --disable-component-update \"$@\"\n"
            "done\n"
            "for page; do :; done\n"
            f"printf '%s\\n' \"$page\" >> '{self.browser_log}'\n"
            "exec sleep 3\n")
        os.chmod(browser, 0o755)
        os.chmod(browser.parent, 0o755)
        pictures_folder = self.scratch / "pictures"
        self.sample, self.pictures, self.refused = pics.make_pictures(
            pictures_folder, SOURCE / "assets" / "sample_picture.bmp", SOURCE / "tests" / "app" / "make_pictures.py",
            self.options.max_megapixels, self.rng)
        for path in pictures_folder.iterdir():
            os.chmod(path, 0o644)
        os.chmod(pictures_folder, 0o755)
        self.picture = self.sample
        self.program_env = {"HOME": str(home), "TMPDIR": str(home / "tmp"), "XDG_RUNTIME_DIR": str(home / "run"),
                            "BROWSER": str(browser), "LC_ALL": "C.UTF-8", "QT_ACCESSIBILITY": "0"}
        self.log = open(self.scratch / "program.log", "w")
        self.log_offset = 0
        self.screenshots.mkdir(parents=True, exist_ok=True)
        self.action_log = open(self.screenshots / "actions.log", "w")
        self.last_box = (None, None)
        self.session = ws.Session(self.folder / "lumivert", env=self.program_env, user=self.user, log=self.log)
        self.own_clipboard()

    def cleanup(self):
        for tool in self.old_tools:
            ws.end_group(tool, grace=1)
        if self.session is not None:
            self.session.close()
        ws.kill_holding(str(self.scratch))
        if self.mounted:
            if self.folder.exists():
                os.chmod(self.folder, 0o755)
            subprocess.run(["umount", "-l", str(self.folder)], check=False)
        shutil.rmtree(self.scratch, ignore_errors=True)

    # --- talking to the window --------------------------------------------------------------

    def own_clipboard(self):
        """Makes the program own the clipboard (the quality text, copied), so that a later
        clipboard request is a question only its event loop answers; also reads that text."""
        s = self.session
        s.click(ws.JPG_QUALITY_BOX)
        s.key("ctrl+a", "ctrl+c")
        return s.clipboard(ANSWER_LIMIT)

    def answers(self, limit=ANSWER_LIMIT):
        return self.session.process.poll() is None and self.session.clipboard(limit) is not None

    def boxes(self):
        """The program's other named windows: message boxes and the file dialog (menus and
        tool-tips have no name; the drag source is not the program's; the comparison's
        progress is no box to answer)."""
        found = []
        for window in self.session.windows():
            if window != self.session.window:
                name = self.session.window_name(window)
                if name and name not in ("lumivert-drag-source", "Lumivert", "すべての形式で比べる"):  # menus and tool-tips: Lumivert
                    found.append(window)
        return found

    def read_box(self, box):
        """The box's title as the window shows it, and its text as the program's log has it
        (every box shown is logged; a Qt box on X11 copies no text with Ctrl+C)."""
        title = self.session.window_name(box)
        deadline = time.monotonic() + ANSWER_LIMIT
        while time.monotonic() < deadline:
            self.log.flush()
            with open(self.scratch / "program.log", "rb") as log:
                log.seek(self.log_offset)
                added = log.read()
            last = None
            for line in added.splitlines(keepends=True):  # the last box logged is the one shown
                if not line.endswith(b"\n"):
                    break
                self.log_offset += len(line)
                if line.startswith(b"lumivert: message box: "):
                    last = line.decode("utf-8", "replace")[len("lumivert: message box: "):-1]
            if last is not None:
                logged_title, _, text = last.partition(": ")
                text = re.sub(r"\\(.)", lambda m: "\n" if m.group(1) == "n" else m.group(1), text)
                if logged_title != title:
                    raise Failure("message box not designed",
                                  f"{self.current}: the window {title!r} logged as {logged_title!r}")
                self.last_box = (title, text)
                return title, text
            if time.monotonic() > deadline - ANSWER_LIMIT + 1 and self.last_box[0] == title:
                return self.last_box  # the same box, still closing
            time.sleep(0.05)
        return title, None

    def answer_box(self, box, answer):
        """Answers with the keyboard, once the box has the focus: keys that went to the main
        window instead would press its controls (Tab and space would toggle one)."""
        keys = {"ok": ["Return"], "yes": ["Return"], "no": ["Tab", "space"], "cancel": ["Escape"]}[answer]
        s = self.session
        for _ in range(20):
            s.xdotool("windowfocus", "--sync", box, check=False, timeout=5)
            if s.xdotool("getwindowfocus", check=False).strip() == box:
                s.key(*keys)
                return
            if box not in s.windows():
                return  # gone by itself
            time.sleep(0.1)
        raise Failure("no answer within 10 s", f"{self.current}: the box {s.window_name(box)!r} takes no focus")

    # --- one action: wait for its end, answering boxes --------------------------------------

    def launches(self):
        return self.browser_log.read_text().count("\n")

    def finish(self, expect_page, answers=None, limit=None, after_box=None, document=False):
        """Waits until the action ends, answering each box as answers says (title → answer);
        returns the boxes seen as (title, text). expect_page: the file mode's browser start
        ends the action. A box that is not designed is a finding; so is no end within limit."""
        answers = answers or {}
        seen = []
        launches = self.launches_before
        limit = limit or ANSWER_LIMIT + self.picture.pixels / 1_000_000 * (3 if self.pixels_engine else 1)
        deadline = time.monotonic() + limit
        quiet_since = None
        browser_started = None
        polls = 0
        while True:
            polls += 1
            if expect_page and not seen and self.launches() > launches:
                break  # the usual end, seen without asking the X server
            found = self.boxes() if polls % 4 == 1 or seen or not expect_page else []
            if found:
                box = found[0]
                title, text = self.read_box(box)
                seen.append((title, text))
                self.check_box(title, text)
                if after_box:
                    after_box(title)
                self.answer_box(box, answers.get(title, "ok"))
                time.sleep(0.05)
                deadline = time.monotonic() + limit
                quiet_since = None
                continue
            if expect_page and self.launches() > launches:
                break
            # The document mode ends a while after its browser started (the page is filled
            # after two waits), or with a box after which nothing more comes.
            terminal = bool(seen) and seen[-1][0] in ("エラーですよ", "残念")
            if document and not terminal:
                if browser_started is None and self.my_browsers():
                    browser_started = time.monotonic()
                if browser_started and time.monotonic() - browser_started > 3.0 and self.answers(1):
                    break
            elif not expect_page or seen:
                # No page to wait for (or a failure already told): ends once the window answers
                # and no box follows.
                if self.answers(ANSWER_LIMIT):
                    if quiet_since is None:
                        quiet_since = time.monotonic()
                    elif time.monotonic() - quiet_since > (0.6 if seen and expect_page else 0.1):
                        if not self.boxes():
                            break
            if time.monotonic() > deadline:
                raise Failure("no answer within 10 s", f"{self.current} did not end within {limit:.0f} s")
            if self.session.process.poll() is not None:
                raise Failure("program ended", f"{self.current}: exit status {self.session.process.returncode}")
            time.sleep(0.03)
        return seen

    def check_box(self, title, text):
        if title not in DESIGNED_BOXES:
            raise Failure("message box not designed", f"{self.current}: title {title!r}, text {text!r}")
        if text is None or not re.fullmatch(DESIGNED_BOXES[title], text, re.S):
            raise Failure("message box not designed", f"{self.current}: {title}: {text!r}")

    # --- the actions ------------------------------------------------------------------------

    def output_path(self, name):
        return self.folder / name

    def snapshot(self, path):
        try:
            info = os.lstat(path)
        except FileNotFoundError:
            return None
        if stat.S_ISREG(info.st_mode):
            return hashlib.sha1(path.read_bytes()).hexdigest()
        return stat.S_IFMT(info.st_mode)

    def plan_save(self, fault=None):
        """A random save: (kind, name of the file)."""
        kind = self.rng.choices(["bmp", "png", "gif", "jpg", "effect"], [3, 2, 2, 2, 4])[0]
        if fault == "picture dropped while saving":  # dropped while the command asks its question
            self.transparent["gif"] = 4
            return "gif", "Sample.gif"
        if kind == "bmp":
            self.depth = self.rng.randrange(4)
            return kind, f"Sample{BMP_DEPTHS[self.depth]}.bmp"
        if kind in ("png", "gif"):
            self.transparent[kind] = self.rng.randrange(5)
            return kind, f"Sample.{kind}"
        if kind == "jpg":
            self.typed_quality = None
            if self.rng.random() < 0.3:
                self.typed_quality = self.rng.choice(QUALITY_TEXTS + [str(self.rng.randrange(101))])
                self.quality_text = self.typed_quality
            return kind, "Sample.jpg"
        self.effect = self.rng.randrange(11)
        big = self.picture.pixels > self.options.pixels_engine_limit
        self.pixels_engine = not big and self.rng.random() < 0.5
        return kind, f"Sample{EFFECT_TAGS[self.effect]}.bmp"

    def click_options(self, kind):
        s = self.session
        if kind == "bmp":
            s.click(ws.BMP_DEPTHS[self.depth], self.BUTTONS[kind])
        elif kind == "png":
            s.click(ws.PNG_COLOURS[self.transparent["png"]], self.BUTTONS[kind])
        elif kind == "gif":
            s.click(ws.GIF_COLOURS[self.transparent["gif"]], self.BUTTONS[kind])
        elif kind == "jpg":
            if self.typed_quality is not None:
                s.click(ws.JPG_QUALITY_BOX)
                s.key("ctrl+a", "BackSpace")
                if self.typed_quality:
                    s.type(self.typed_quality)
            s.click(self.BUTTONS[kind])
        else:
            s.click(ws.EFFECTS[self.effect], ws.PIXELS if self.pixels_engine else ws.DIBITS, self.BUTTONS[kind])

    BUTTONS = {"bmp": ws.BMP_BUTTON, "png": ws.PNG_BUTTON, "gif": ws.GIF_BUTTON, "jpg": ws.JPG_BUTTON,
               "effect": ws.EFFECT_BUTTON}

    def save(self, fault=None):
        """One save with its options, under fault (a fault at the output or in the folder)."""
        kind, name = self.plan_save(fault)
        path = self.output_path(name)
        self.current = f"save {kind} → {name}" + (f" under fault '{fault}'" if fault else "") + \
            f" (picture {self.picture.name})"
        gif_answer = None
        if kind == "gif" and self.transparent["gif"] == 4:
            gif_answer = self.rng.choice(["yes", "no"] + ([] if fault else ["cancel"]))
        undo = self.inject(fault, path) if fault else None
        before = self.snapshot(path)
        page_before = self.snapshot(self.folder / "OpenMe.html")
        quality = quality_after(self.quality_text) if kind == "jpg" else None
        will_save = not (kind == "jpg" and quality is None) and gif_answer != "cancel"
        self.launches_before = self.launches()
        try:
            self.click_options(kind)  # the options, then the save button
            seen = self.finish(expect_page=will_save and not self.mode_document,
                               answers={"透過なしGIF出力": gif_answer} if gif_answer else None,
                               document=self.mode_document and will_save,
                               after_box=self.drop_during_save if fault == "picture dropped while saving" else None)
            after = self.snapshot(path)  # before the fault is undone
        finally:
            if undo:
                undo()
        if fault == "picture dropped while saving":
            self.collect_drag(expect="refused")
        titles = [t for t, _ in seen]
        if kind == "gif" and self.transparent["gif"] == 4 and "透過なしGIF出力" not in titles:
            raise Failure("wrong outcome", f"{self.current}: no question for a GIF without transparency")
        if kind == "jpg" and quality is None:
            if titles != ["入力エラー"]:
                raise Failure("wrong outcome", f"{self.current}: quality {self.quality_text!r} gave {titles}")
        if not will_save:
            if after != before:
                raise Failure("file changed by a refused save", self.current)
            return
        # The save failed when its saver said so; a box about the page is not the save's.
        failed = any(t == "ありゃりゃ" or (t == "エラーですよ" and re.fullmatch(FILE_ERROR, x or ""))
                     for t, x in seen)
        expect_failure = self.expects_failure(fault, kind, before)
        if fault == "browser killed while filling":
            pass  # the save itself may or may not have reached the page; boxes are checked
        elif failed and not expect_failure:
            raise Failure("save failed", f"{self.current}: {seen}")
        elif expect_failure and not failed:
            raise Failure("failure not told", f"{self.current}: boxes {titles}")
        if kind == "jpg":
            text, saved_quality = quality
            self.quality_text = text
            shown = self.own_clipboard()
            if text and shown != text:
                raise Failure("wrong outcome", f"{self.current}: the quality box shows {shown!r}, expected {text!r}")
        if failed:
            if after != before and not (before is None and after is None):
                raise Failure("old file damaged by a failed save", f"{self.current}: {before} → {after}")
            return
        reason = self.check_output(kind, path, saved_quality if kind == "jpg" else None, gif_answer)
        if reason:
            raise Failure("output does not match the picture", f"{self.current}: {reason}")
        if not self.mode_document and "HTMLブラウザ表示エラー" not in titles:
            if self.launches() <= self.launches_before:
                raise Failure("no result page", f"{self.current}: no browser was started ({titles})")
            self.check_page(path, page_before)

    def expects_failure(self, fault, kind, before):
        if fault in ("folder at the output name", "named pipe at the output name", "read-only output file"):
            return True
        # A read-only program folder sends the saves to the pictures folder, which the soak
        # has made impossible: every save there fails, a writable old file included.
        return fault in ("folder read-only", "folder full")

    def check_output(self, kind, path, quality, gif_answer):
        picture = self.picture
        if kind == "bmp":
            return pics.check_bmp(path, BMP_DEPTHS[self.depth], picture, self.check_rng)
        if kind == "png":
            return pics.check_png(path, KEYS[self.transparent["png"]], picture)
        if kind == "gif":
            own = gif_answer != "no"
            return pics.check_gif(path, KEYS[self.transparent["gif"]], own, picture, self.check_rng)
        if kind == "jpg":
            return pics.check_jpeg(path, quality, picture)
        return pics.check_effect(path, self.effect + 1, self.pixels_engine, picture, self.check_rng)

    def check_page(self, path, page_before):
        page = self.folder / "OpenMe.html"
        text = page.read_bytes().decode("cp932", "replace")
        if f"ファイル名：{path}<br>" not in text or f'<img src="{path.name}">' not in text:
            raise Failure("wrong result page", f"{self.current}: OpenMe.html does not show {path.name}")
        shown = self.browser_log.read_text().splitlines()[-1]
        if shown != str(page):
            raise Failure("wrong result page", f"{self.current}: the browser was given {shown}")

    # --- faults at the output and in the folder ---------------------------------------------

    def inject(self, fault, path):
        """Makes fault; returns what undoes it."""
        folder = self.folder
        if fault == "folder read-only":
            os.chmod(folder, 0o555)
            return lambda: os.chmod(folder, 0o755)
        if fault == "folder full":
            used = os.statvfs(folder)
            taken = (used.f_blocks - used.f_bfree) * used.f_frsize
            subprocess.run(["mount", "-o", f"remount,size={taken}", str(folder)], check=True)
            return lambda: subprocess.run(["mount", "-o", f"remount,size={self.size}", str(folder)], check=True)
        if fault == "symbolic link at the output name":
            target = self.elsewhere / ("target-" + path.name)
            if path.exists():
                shutil.move(path, target)  # another file system: a copy, the soak's own
            else:
                target.write_bytes(b"old")
            self.chown(target)  # the person's file, as before
            os.symlink(target, path)
            self.link = (path, target)
            return self.undo_link
        if fault == "folder at the output name":
            self.remove(path)
            path.mkdir()
            (path / "inside.txt").write_text("kept\n")
            self.chown(path)
            return lambda: self.check_kept_folder(path)
        if fault == "named pipe at the output name":
            self.remove(path)
            os.mkfifo(path, 0o666)
            self.chown(path)
            return lambda: self.remove_fifo(path)
        if fault == "read-only output file":
            if not path.exists():
                path.write_bytes(b"an old file\n")
                self.chown(path)
            os.chmod(path, 0o444)
            return lambda: os.chmod(path, 0o644)
        return None

    def chown(self, path):
        if self.is_root:
            os.lchown(path, *(lambda p: (p.pw_uid, p.pw_gid))(pwd.getpwnam("nobody")))

    def remove(self, path):
        if path.is_dir() and not path.is_symlink():
            shutil.rmtree(path)
        elif os.path.lexists(path):
            path.unlink()

    def remove_fifo(self, path):
        """A program stuck on the pipe goes on once someone reads it."""
        threading.Thread(target=drain, args=(path,), daemon=True).start()
        time.sleep(0.3)
        self.remove(path)

    def undo_link(self):
        path, target = self.link
        if not path.is_symlink() or os.readlink(path) != str(target):
            raise Failure("symbolic link replaced", f"{self.current}: {path.name} is no longer the link")
        path.unlink()
        shutil.move(target, path)
        self.chown(path)

    def check_kept_folder(self, path):
        kept = path / "inside.txt"
        if not kept.is_file() or kept.read_text() != "kept\n":
            raise Failure("folder at the output name damaged", self.current)
        shutil.rmtree(path)

    # --- opening pictures -------------------------------------------------------------------

    def open_picture(self, how, broken=False):
        if broken:
            path = self.rng.choice(sorted(self.refused))
            picture = None
        else:
            big = self.rng.random() < self.options.big_share
            limit = max(self.options.max_megapixels * 1_000_000, 2_100_000) if big else 2_100_000
            picture = pics.random_picture(self.pictures, self.rng, limit)
            path = picture.path
        self.current = f"open {path.name} by {how}" + (" (broken)" if broken else "")
        self.launches_before = self.launches()
        s = self.session
        if how == "drop":
            self.drag(path)
            # The drop reaches the window after the pointer is let go: the action has begun once
            # the drag source ends (the window took the drop) or a box asks about the picture.
            deadline = time.monotonic() + ANSWER_LIMIT
            while not select.select([self.drag_tool.stdout], [], [], 0.05)[0] and not self.boxes() and \
                    time.monotonic() < deadline:
                pass
        elif how == "second copy":
            command = [str(self.folder / "lumivert"), str(path)]
            if self.user:
                command = ["setpriv", "--reuid", self.user, "--regid", "nogroup", "--clear-groups", "--", *command]
            done = subprocess.run(command, env=dict(s.program_env), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  timeout=30)
            if done.returncode != 0:
                raise Failure("second copy refused", f"{self.current}: {done.stdout.decode(errors='replace')}")
            time.sleep(0.1)  # the running copy reads the socket
        else:
            s.key("ctrl+o", window=s.window)
            dialog = self.wait_for_window("画像を開く", 10)
            s.xdotool("windowfocus", dialog, check=False)
            s.key("ctrl+a")
            s.type(str(path))
            s.key("Return")
            for _ in range(50):  # the path's completion may take the first Return
                if dialog not in s.windows():
                    break
                time.sleep(0.1)
                if _ % 10 == 9:
                    s.key("Return")
        limit = ANSWER_LIMIT + (picture.pixels / 1_000_000 if picture else 0)
        seen = self.finish(expect_page=False, limit=limit)
        if how == "drop":
            self.collect_drag(expect="dropped")
        if broken:
            wanted = self.refused[path]
            if [t for t, _ in seen] != ["画像を開く"] or str(path) not in seen[0][1] or wanted not in seen[0][1]:
                raise Failure("broken picture not told", f"{self.current}: {seen}, expected the reason {wanted!r}")
            return
        if seen:
            raise Failure("picture refused", f"{self.current}: {seen}")
        self.set_picture(picture)

    def set_picture(self, picture):
        if self.picture is not picture and self.picture is not self.sample:
            self.picture.forget()
        self.picture = picture
        self.largest_opened = max(self.largest_opened, picture.pixels)

    def wait_for_window(self, title, limit):
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline:
            for window in self.boxes():
                if self.session.window_name(window).startswith(title):
                    return window
            time.sleep(0.05)
        raise Failure("no answer within 10 s", f"{self.current}: no window {title!r}")

    def drag(self, path):
        """Drags path from a drag source onto the picture, as from a file manager; the
        source's verdict is read later (collect_drag): the window opens the picture inside
        the drop, and may ask a box there."""
        s = self.session
        tool = subprocess.Popen([self.options.drag_tool, str(path)], env=s.env, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, start_new_session=True)
        self.drag_tool = tool
        try:
            for _ in range(100):
                if s.xdotool("search", "--onlyvisible", "--name", "lumivert-drag-source", check=False).split():
                    break
                time.sleep(0.05)
            x, y = s.window_origin()
            target = (x + ws.PICTURE_BOX[0], y + ws.PICTURE_BOX[1])
            s.xdotool("mousemove", 24, 24, "mousedown", 1)
            for step in range(1, 9):
                s.xdotool("mousemove", 24 + (target[0] - 24) * step // 8, 24 + (target[1] - 24) * step // 8)
                time.sleep(0.02)
            time.sleep(0.1)
            s.xdotool("mouseup", 1)
        except BaseException:
            ws.end_group(tool, grace=1)
            raise

    def collect_drag(self, expect):
        """The drag source's verdict; it stays a few seconds to serve the drop's data, and
        is ended later."""
        tool, self.drag_tool = self.drag_tool, None
        self.old_tools = [t for t in self.old_tools if t.poll() is None] + [tool]
        ready, _, _ = select.select([tool.stdout], [], [], ANSWER_LIMIT)
        verdict = tool.stdout.readline().decode().strip() if ready else ""
        if verdict != expect:
            raise Failure("wrong outcome", f"{self.current}: the drop was {verdict or 'not finished'}, expected {expect}")

    def drop_during_save(self, title):
        """While the command asks its question a picture is dropped: the window must ignore it."""
        if title == "透過なしGIF出力":
            self.drag(pics.random_picture(self.pictures, self.rng, 2_100_000).path)

    def open_menu(self, limit=2.0):
        """Right-clicks the picture; True when its menu opened (the window shows it only
        while no command runs), which is then left open."""
        s = self.session
        before = set(s.xdotool("search", "--onlyvisible", "--name", ".*", check=False).split())
        s.click(ws.PICTURE_BOX, button=3)
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline:
            if set(s.xdotool("search", "--onlyvisible", "--name", ".*", check=False).split()) - before:
                return True
            time.sleep(0.05)
        return False

    def wait_idle(self, limit=30):
        """Waits until no command runs: the picture's menu opens then, and is closed again."""
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline:
            if self.boxes():
                self.finish(expect_page=False)
            if self.open_menu():
                self.session.key("Escape")
                return
        raise Failure("no answer within 10 s", f"{self.current}: a command still runs after {limit} s")

    def back_to_sample(self):
        self.current = "back to the sample (picture menu)"
        self.launches_before = self.launches()
        if not self.open_menu(ANSWER_LIMIT):
            raise Failure("no answer within 10 s", f"{self.current}: no menu")
        self.session.key("Down", "Down", "Return") if self.picture is not self.sample else self.session.key("Escape")
        seen = self.finish(expect_page=False)
        if seen:
            raise Failure("message box not designed", f"{self.current}: {seen}")
        self.set_picture(self.sample)

    # --- every format at once ---------------------------------------------------------------

    # The comparison's files: name → the check of its content.
    COMPARED = {
        **{f"Sample{depth}.bmp": lambda soak, path, depth=depth: pics.check_bmp(path, depth, soak.picture, soak.check_rng)
           for depth in BMP_DEPTHS},
        "Sample.png": lambda soak, path: pics.check_png(path, None, soak.picture),
        "Sample-own.gif": lambda soak, path: pics.check_gif(path, None, True, soak.picture, soak.check_rng),
        "Sample-encoder.gif": lambda soak, path: pics.check_gif(path, None, False, soak.picture, soak.check_rng),
        **{f"Sample-q{quality}.jpg": lambda soak, path, quality=quality: pics.check_jpeg(path, quality, soak.picture)
           for quality in (50, 75, 90, 100)},
    }

    def compare(self):
        """すべての形式で比べる (Ctrl+Shift+C): every file decodes to the picture, the page opens."""
        self.current = f"compare every format (picture {self.picture.name})"
        self.launches_before = self.launches()
        self.session.key("ctrl+shift+c", window=self.session.window)  # the key goes where the focus is
        seen = self.finish(expect_page=True, limit=ANSWER_LIMIT + 3 * self.picture.pixels / 1_000_000)
        if seen:
            raise Failure("message box not designed", f"{self.current}: no box interrupts a comparison: {seen}")
        for name, check in self.COMPARED.items():
            reason = check(self, self.folder / "Compare" / name)
            if reason:
                raise Failure("output does not match the picture", f"{self.current}: {reason}")
        shown = self.browser_log.read_text().splitlines()[-1]
        if shown != str(self.folder / "Compare.html"):
            raise Failure("wrong result page", f"{self.current}: the browser was given {shown}")

    # --- the check box, the document mode and the browser -----------------------------------

    def document_save(self, kill_browser=False):
        s = self.session
        s.click(ws.OPEN_HTML_BOX)
        self.mode_document = True
        killer = None
        if kill_browser:
            killer = threading.Thread(target=self.kill_browser_when_up, daemon=True)
            killer.start()
        try:
            self.save("browser killed while filling" if kill_browser else None)
            if killer:
                killer.join(15)
            self.wait_idle()  # the page is filled after the browser started; boxes may still come
        finally:
            self.mode_document = False
            s.click(ws.OPEN_HTML_BOX)

    def my_browsers(self):
        """The Chromium processes of the document mode that this soak's program started."""
        mine = set(ws.processes_holding(str(self.scratch)))
        return [pid for pid in ws.processes_holding("--remote-debugging-pipe") if pid in mine]

    def kill_browser_when_up(self):
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            if self.my_browsers():
                time.sleep(random.Random(self.options.seed ^ self.done).uniform(0.2, 1.5))
                for pid in self.my_browsers():
                    try:
                        os.kill(pid, signal.SIGKILL)
                    except ProcessLookupError:
                        pass
                return
            time.sleep(0.05)

    # --- the run ----------------------------------------------------------------------------

    FAULTS = ["folder full", "folder read-only", "symbolic link at the output name", "folder at the output name",
              "named pipe at the output name", "read-only output file", "browser killed while filling",
              "picture dropped while saving", "broken picture"]

    def one_action(self, number):
        rng = self.rng
        fault = None
        if number in self.forced_faults:
            fault = self.forced_faults[number]
        elif rng.random() < self.options.fault_share:
            # A Chromium start costs seconds: its fault comes a quarter as often as the others.
            fault = rng.choices(self.FAULTS, [0.25 if f == "browser killed while filling" else 1 for f in self.FAULTS])[0]
        if fault in self.skipped:
            fault = None
        if fault == "picture dropped while saving" and not self.options.drops:
            fault = None
        if fault:
            self.faults[fault] += 1
        if fault == "browser killed while filling":
            self.counts["save in the document mode"] += 1
            return self.document_save(kill_browser=True)
        if fault == "broken picture":
            how = rng.choice(["drop", "second copy", "dialog"] if self.options.drops else ["second copy", "dialog"])
            self.counts[f"open by {how}"] += 1
            return self.open_picture(how, broken=True)
        if fault:
            self.counts["save"] += 1
            return self.save(fault)
        action = rng.choices(["save", "document", "drop", "second copy", "dialog", "sample", "pause", "compare"],
                             [60, self.options.document_weight, 4 if self.options.drops else 0, 4, 2, 3, 4, 1])[0]
        if action == "save":
            self.counts["save"] += 1
            return self.save()
        if action == "document":
            self.counts["save in the document mode"] += 1
            return self.document_save()
        if action in ("drop", "second copy", "dialog"):
            self.counts[f"open by {action}"] += 1
            return self.open_picture(action)
        if action == "compare":
            self.counts["compare every format"] += 1
            return self.compare()
        if action == "sample":
            self.counts["back to the sample"] += 1
            return self.back_to_sample()
        self.counts["pause"] += 1
        self.current = "pause"
        self.launches_before = self.launches()
        time.sleep(rng.uniform(0, 1.0))

    def sample_resources(self, number):
        if self.picture is not self.sample:
            self.back_to_sample()
        time.sleep(0.2)
        pid = self.session.pid
        descriptors = len(os.listdir(f"/proc/{pid}/fd"))
        status = {}
        for line in open(f"/proc/{pid}/status"):
            name, _, value = line.partition(":")
            status[name] = value.split()[0] if value.split() else "0"
        rss, peak = int(status.get("VmRSS", 0)), int(status.get("VmHWM", 0))
        # The anonymous memory (the heap, thread stacks) and the mapped files apart: a font's
        # pages read for a new glyph count in the resident size as the program's own memory does.
        anonymous, mapped = int(status.get("RssAnon", 0)), int(status.get("RssFile", 0))
        self.curve.append((number, descriptors, rss, anonymous, mapped, peak, self.largest_opened,
                           self.restarts))

    def record_failure(self, number, failure):
        self.failures[failure.kind].append(f"action {number}: {failure.detail}")
        shot = self.screenshots / f"failure-{number:05d}.png"
        self.screenshots.mkdir(parents=True, exist_ok=True)
        try:
            self.session.screenshot(shot)
        except (subprocess.SubprocessError, OSError):
            pass
        print(f"soak: action {number}: {failure}", flush=True)
        self.recover(number)

    def recover(self, number):
        """After a finding: let a frozen program go on (reading a named pipe it may be
        writing), answer leftover boxes, restart it when it stays silent or when three
        actions in a row failed (the window may then be in a state the soak does not know)."""
        self.failed_in_row = self.failed_in_row + 1 if self.last_failed == number - 1 else 1
        self.last_failed = number
        for fifo in self.folder.glob("*"):
            if fifo.is_fifo():
                threading.Thread(target=drain, args=(fifo,), daemon=True).start()
        if self.session.process.poll() is None and self.answers(ANSWER_LIMIT):
            for _ in range(5):
                found = self.boxes()
                if not found:
                    break
                self.answer_box(found[0], "ok")
                time.sleep(0.2)
            self.tidy_folder()
            if self.answers(2) and not self.boxes() and self.failed_in_row < 3:
                return
        self.restarts += 1
        self.restarted_at = number
        print(f"soak: action {number}: restarting the program", flush=True)
        self.session.stop_program()
        ws.kill_holding(str(self.scratch / "home" / "tmp"))
        self.tidy_folder()
        self.session.start()
        self.set_picture(self.sample)
        self.largest_opened = 420 * 345  # a new process, a new peak
        self.failed_in_row = 0
        self.quality_text = "100"
        self.own_clipboard()

    def tidy_folder(self):
        os.chmod(self.folder, 0o755)
        if self.mounted:
            subprocess.run(["mount", "-o", f"remount,size={self.size}", str(self.folder)], check=False)
        for path in self.folder.iterdir():
            if path.is_fifo() or (path.is_dir() and not path.is_symlink()) or path.is_symlink():
                self.remove(path)
            elif path.name != "lumivert":
                os.chmod(path, 0o644)

    def run(self):
        total = self.options.actions
        # A short run still meets every fault once, spread over the run.
        self.forced_faults = {}
        if self.options.every_fault:
            usable = [f for f in self.FAULTS if f not in self.skipped and
                      (self.options.drops or f != "picture dropped while saving")]
            for i, fault in enumerate(usable):
                self.forced_faults[(i + 1) * total // (len(usable) + 1)] = fault
        for number in range(1, total + 1):
            self.done = number
            began = time.monotonic()
            try:
                if number == 1 or number % self.options.sample_every == 0:
                    self.sample_resources(number)
                self.one_action(number)
                if not self.answers(ANSWER_LIMIT):
                    raise Failure("no answer within 10 s", f"after {self.current}")
            except Failure as failure:
                self.record_failure(number, failure)
            except subprocess.TimeoutExpired as error:
                self.record_failure(number, Failure("no answer within 10 s", f"{self.current}: {error}"))
            self.action_log.write(f"{number} {time.monotonic() - began:.2f} s {self.current}\n")
            self.action_log.flush()
            if number % 100 == 0:
                print(f"soak: {number} actions, {sum(len(v) for v in self.failures.values())} failures, "
                      f"{time.monotonic() - self.started_at:.0f} s", flush=True)
        try:
            self.sample_resources(total)
        except Failure as failure:
            self.record_failure(total, failure)

    # --- the summary ------------------------------------------------------------------------

    def summary(self):
        lines = []
        elapsed = time.monotonic() - self.started_at
        lines.append(f"soak: {self.done} actions in {elapsed / 60:.1f} min, seed {self.options.seed}, "
                     f"program run as {self.user or 'the current user'}")
        lines.append("browser: the document mode in real headless Chromium (/usr/bin/chromium); the file mode in "
                     "a recording reader the program starts as its browser (it notes the page it was given)")
        lines.append("actions: " + ", ".join(f"{k} {v}" for k, v in sorted(self.counts.items())))
        lines.append("faults injected: " + (", ".join(f"{k} {v}" for k, v in sorted(self.faults.items())) or "none"))
        for fault, reason in self.skipped.items():
            lines.append(f"fault skipped: {fault} ({reason})")
        lines.append(f"program restarts: {self.restarts}")
        if self.failures:
            lines.append("failures by kind:")
            for kind, items in sorted(self.failures.items()):
                lines.append(f"  {kind}: {len(items)}")
                for item in items[:5]:
                    lines.append(f"    {item}")
                if len(items) > 5:
                    lines.append(f"    … and {len(items) - 5} more")
        else:
            lines.append("failures: none")
        lines.append("descriptors and resident memory (at the sample picture), the peak so far beside the largest "
                     "picture opened so far:")
        lines.append("  action  descriptors  RSS MiB  (anon  files)  peak MiB  largest MP  restarts")
        for number, descriptors, rss, anonymous, mapped, peak, largest, restarts in self.curve:
            lines.append(f"  {number:6d}  {descriptors:11d}  {rss / 1024:7.1f}  {anonymous / 1024:5.1f}  "
                         f"{mapped / 1024:6.1f}  {peak / 1024:8.1f}  {largest / 1e6:10.1f}  {restarts:8d}")
        verdicts = self.goals()
        lines.extend(verdicts)
        if self.failures:
            lines.append(f"screenshots of the failures: {self.screenshots}")
        return "\n".join(lines)

    def goals(self):
        """Descriptors vary by at most 2 and memory by at most 5 % after the warm-up, within
        one run of the program: the last one, from its own warm-up on."""
        warm = [c for c in self.curve if c[0] > self.restarted_at + self.options.warmup]
        if len(warm) < 2:
            return ["goals: too few samples after the warm-up to judge"]
        descriptors = [c[1] for c in warm]
        memory = [c[2] for c in warm]
        spread = max(descriptors) - min(descriptors)
        growth = (max(memory) - min(memory)) / min(memory) * 100
        self.goal_failures = []
        out = []
        verdict = "held" if spread <= 2 else "MISSED"
        out.append(f"goal descriptors ±2 after action {self.options.warmup}: {verdict} "
                   f"({min(descriptors)} to {max(descriptors)})")
        if spread > 2:
            self.goal_failures.append("descriptors")
        judged = self.options.memory_goal
        verdict = "not judged" if not judged else "held" if growth <= 5 else "MISSED"
        out.append(f"goal resident memory ±5 % after action {self.options.warmup}: {verdict} "
                   f"({min(memory) / 1024:.1f} to {max(memory) / 1024:.1f} MiB, {growth:.1f} %)")
        if judged and growth > 5:
            self.goal_failures.append("memory")
        return out


def drain(fifo):
    """Reads a named pipe that the program may be writing to, so that it can go on."""
    try:
        fd = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
    except OSError:
        return
    deadline = time.monotonic() + 30
    try:
        while time.monotonic() < deadline:
            try:
                if not os.read(fd, 1 << 20) and time.monotonic() > deadline - 25:
                    break
            except BlockingIOError:
                time.sleep(0.05)
    finally:
        os.close(fd)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--drag-tool", required=True)
    parser.add_argument("--actions", type=int, default=2000)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--sample-every", type=int, default=50)
    parser.add_argument("--warmup", type=int, default=100, help="actions before the goals apply")
    parser.add_argument("--fault-share", type=float, default=0.08)
    parser.add_argument("--document-weight", type=float, default=1.0, help="weight of a save in the document mode "
                        "(a real Chromium start each; a plain save weighs 60)")
    parser.add_argument("--every-fault", action="store_true", help="inject each fault at least once")
    parser.add_argument("--no-drops", dest="drops", action="store_false",
                        help="open no picture by drag and drop")
    parser.add_argument("--max-megapixels", type=int, default=24)
    parser.add_argument("--big-share", type=float, default=0.05, help="share of opened pictures above 2 MP")
    parser.add_argument("--pixels-engine-limit", type=int, default=6_000_000,
                        help="pictures above this many pixels use the DIBits engine only")
    parser.add_argument("--folder-mib", type=int, default=1536)
    parser.add_argument("--keep", default=None, help="folder for failure screenshots")
    parser.add_argument("--no-memory-goal", dest="memory_goal", action="store_false",
                        help="report resident memory without judging it (a sanitizer's allocator keeps what is freed)")
    options = parser.parse_args()
    if options.seed is None:
        options.seed = random.randrange(1 << 30)
    if options.keep is None:
        options.keep = f"/var/tmp/lumivert-soak-{time.strftime('%Y%m%d-%H%M%S')}"
    soak = Soak(options)

    def interrupted(signum, _frame):
        raise KeyboardInterrupt(f"signal {signum}")

    signal.signal(signal.SIGTERM, interrupted)
    status = 0
    try:
        soak.prepare()
        soak.run()
    except KeyboardInterrupt:
        print("soak: interrupted", flush=True)
        status = 130
    except (Failure, RuntimeError, subprocess.SubprocessError, OSError) as error:
        print(f"soak: could not go on: {error}", flush=True)
        status = 2
    finally:
        try:
            text = soak.summary()
        finally:
            soak.cleanup()
        print(text, flush=True)
    if status == 0 and (soak.failures or getattr(soak, "goal_failures", [])):
        status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
