#!/usr/bin/python3
"""Builds the Debian package with scripts/package.sh (which fails on any lintian error or
warning) and checks what it holds: its files, its dependencies, the desktop entry, the
AppStream metadata and the manual page against the program's --help."""

import configparser
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
SOURCE = pathlib.Path(__file__).resolve().parents[2]
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
EXPECTED_FILES = {
    "usr/bin/lumivert",
    "usr/share/applications/lumivert.desktop",
    "usr/share/metainfo/io.github.lumivert.lumivert.metainfo.xml",
    "usr/share/man/man1/lumivert.1.gz",
    "usr/share/doc/lumivert/copyright",
    "usr/share/doc/lumivert/changelog.gz",
    "usr/share/icons/hicolor/scalable/apps/lumivert.svg",
} | {f"usr/share/icons/hicolor/{size}x{size}/apps/lumivert.png" for size in ICON_SIZES}


failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def desktop_entry(path):
    """The [Desktop Entry] group of the file at path, keys as written."""
    parser = configparser.ConfigParser(interpolation=None, delimiters=("=",))
    parser.optionxform = str
    parser.read(path, encoding="utf-8")
    return parser["Desktop Entry"]


def run(*command, **options):
    return subprocess.run(command, capture_output=True, text=True, **options)


def main():
    for tool in ("dpkg-buildpackage", "dh", "lintian", "appstreamcli", "desktop-file-validate"):
        if not shutil.which(tool):
            print(f"SKIP: no {tool} (scripts/setup-debian.sh installs it)")
            return SKIP
    # A fixed folder (the build's), so that a compiler cache finds the last run's objects.
    out = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path(tempfile.mkdtemp())
    try:
        built = run(str(SOURCE / "scripts" / "package.sh"), "--no-setup", str(out))
        if built.returncode != 0:
            print(f"FAIL: scripts/package.sh failed:\n{built.stdout[-4000:]}{built.stderr[-4000:]}")
            return 1
        print(built.stdout[-2000:])  # lintian's informational tags, for the log
        deb = next(out.glob("lumivert_*.deb"))

        listing = run("dpkg-deb", "-c", str(deb)).stdout.splitlines()
        files = {line.split()[-1].removeprefix("./") for line in listing if not line.startswith("d")}
        check(files == EXPECTED_FILES, f"the package holds {sorted(files ^ EXPECTED_FILES)} unlike expected")
        fields = {name: run("dpkg-deb", "-f", str(deb), name).stdout for name in ("Depends", "Recommends")}
        check(all(lib in fields["Depends"] for lib in ("libqt6widgets6", "libpng16-16", "libgif7", "libjpeg62-turbo")),
              f"Depends: {fields['Depends']}")
        check("chromium" not in fields["Depends"] and "chromium" in fields["Recommends"],
              f"Chromium is not a recommendation alone: {fields}")

        root = out / "root"
        run("dpkg-deb", "-x", str(deb), str(root))
        metainfo = root / "usr/share/metainfo/io.github.lumivert.lumivert.metainfo.xml"
        validated = run("appstreamcli", "validate", "--no-net", "--pedantic", str(metainfo))
        check(validated.returncode == 0 and not re.search(r"^[EWIP]: ", validated.stdout, re.M),
              f"appstreamcli validate: {validated.stdout}")

        entry_path = root / "usr/share/applications/lumivert.desktop"
        validated = run("desktop-file-validate", str(entry_path))
        check(validated.returncode == 0 and not validated.stdout, f"desktop-file-validate: {validated.stdout}")
        entry = desktop_entry(entry_path)
        check(entry.get("Exec") == "lumivert %f" and "Path" not in entry, f"the entry runs {dict(entry)}")

        # Every option --help names is in the manual page.
        shown = run(str(root / "usr/bin/lumivert"), "--help", env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
        options = set(re.findall(r"^\s+((?:-\w, )?--[\w-]+)", shown.stdout, re.M))
        manual = run("man", "-l", str(root / "usr/share/man/man1/lumivert.1.gz"),
                     env=dict(os.environ, MANWIDTH="200", LC_ALL="C.UTF-8")).stdout
        check(len(options) >= 3 and all(option in manual for option in options),
              f"--help shows {sorted(options)}, the manual page lacks some")
    finally:
        shutil.rmtree(out, ignore_errors=True)
    print(*(f"FAIL: {failure}" for failure in failures), sep="\n")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
