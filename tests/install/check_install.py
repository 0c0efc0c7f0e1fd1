#!/usr/bin/python3
"""Installs into a scratch root (DESTDIR) under a prefix that needs quoting, and checks what a desktop finds."""

import argparse
import configparser
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

from PIL import Image

# What needs quoting or escaping in an entry (but a backslash, which cmake --install refuses).
PREFIX = '/opt/Lumi Vert 100% "quoted" it\'s $HOME `x`/lumivert'
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def desktop_entry(path):
    """The [Desktop Entry] group of the file at path, keys as written."""
    parser = configparser.ConfigParser(interpolation=None, delimiters=("=",))
    parser.optionxform = str
    parser.read(path, encoding="utf-8")
    return parser["Desktop Entry"]


def unescape(value):
    return re.sub(r"\\([sntr\\])", lambda m: {"s": " ", "n": "\n", "t": "\t", "r": "\r"}.get(m[1], "\\"), value)


def exec_arguments(value):
    """The arguments of an Exec value by the desktop entry rules (escapes, then quoting)."""
    value = unescape(value)
    matches = list(re.finditer(r'"((?:[^"\\]|\\["`$\\])*)"|[^\s"\'\\><~|&;$*?#()`]+', value))
    check(" ".join(m[0] for m in matches) == value, f"Exec {value!r} is not a list of arguments")
    return [(m[0] if m[1] is None else re.sub(r"\\(.)", r"\1", m[1])).replace("%%", "%") for m in matches]


def main():
    parser = argparse.ArgumentParser()
    for option in ("--build-dir", "--data-dir", "--validator"):
        parser.add_argument(option, required=option != "--validator", default="")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as destdir:
        result = subprocess.run(["cmake", "--install", args.build_dir, "--prefix", PREFIX],
                                env=dict(os.environ, DESTDIR=destdir), capture_output=True, text=True)
        check(result.returncode == 0, f"cmake --install failed: {result.stdout}{result.stderr}")
        folder = destdir + PREFIX
        # The program's files will land beside it: the folder starts with nothing else.
        check(os.listdir(folder) == ["lumivert"] and os.access(os.path.join(folder, "lumivert"), os.X_OK),
              f"the program's folder holds {os.listdir(folder)}")
        entry_path = destdir + os.path.join(args.data_dir, "applications", "lumivert.desktop")
        entry = desktop_entry(entry_path)
        # %f: the file manager's "Open with" hands over one picture.
        argv = exec_arguments(entry.get("Exec", ""))
        check(argv == [PREFIX + "/lumivert", "%f"], f"Exec runs {argv}, not {PREFIX}/lumivert %f")
        check(unescape(entry.get("Path", "")) == PREFIX, f"Path is {entry.get('Path')}")
        if args.validator:
            result = subprocess.run([args.validator, entry_path], capture_output=True, text=True)
            check(result.returncode == 0 and "error" not in result.stdout, f"desktop-file-validate: {result.stdout}")
        hicolor = destdir + os.path.join(args.data_dir, "icons", "hicolor")
        for size in (16, 22, 24, 32, 48, 64, 128, 256):
            with Image.open(os.path.join(hicolor, f"{size}x{size}", "apps", "lumivert.png")) as image:
                check((image.format, image.size) == ("PNG", (size, size)), f"the {size} px icon is {image.format} {image.size}")
        root = ElementTree.parse(os.path.join(hicolor, "scalable", "apps", "lumivert.svg")).getroot()
        check(root.tag == "{http://www.w3.org/2000/svg}svg", f"the scalable icon is a {root.tag}")
    print(*(f"FAIL: {failure}" for failure in failures), sep="\n")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
