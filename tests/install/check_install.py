#!/usr/bin/python3
"""Installs into scratch roots (DESTDIR), once under an awkward prefix, and checks what a desktop finds."""

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
AWKWARD_PREFIX = '/opt/Lumi Vert 100% "quoted" it\'s $HOME `x`/lumivert'
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


def split_exec(value):
    """The arguments of an Exec value by the desktop entry rules."""
    matches = list(re.finditer(r'"((?:[^"\\]|\\["`$\\])*)"|[^\s"\'\\><~|&;$*?#()`]+', value))
    check(" ".join(m[0] for m in matches) == value, f"Exec {value!r} is not a list of arguments")
    return [(m[0] if m[1] is None else re.sub(r"\\(.)", r"\1", m[1])).replace("%%", "%") for m in matches]


def check_installation(build_dir, destdir, prefix, data_dir, validator, default_prefix):
    command = ["cmake", "--install", build_dir] + (["--prefix", prefix] if prefix != default_prefix else [])
    result = subprocess.run(command, env=dict(os.environ, DESTDIR=destdir), capture_output=True, text=True)
    check(result.returncode == 0, f"cmake --install failed: {result.stdout}{result.stderr}")
    folder = destdir + prefix
    program = os.path.join(folder, "lumivert")
    if check(os.path.isfile(program) and os.access(program, os.X_OK), f"no program at {program}"):
        with open(program, "rb") as f:
            check(f.read(4) == b"\x7fELF", "the installed program is not an ELF file")
        # The program's files will land beside it: the folder starts with nothing else.
        check(os.listdir(folder) == ["lumivert"], f"the program's folder holds {os.listdir(folder)}")
    entry_path = destdir + os.path.join(data_dir, "applications", "lumivert.desktop")
    if check(os.path.isfile(entry_path), f"no desktop entry at {entry_path}"):
        entry = desktop_entry(entry_path)
        check(entry.get("Type") == "Application" and entry.get("Icon") == "lumivert", "not the application's entry")
        # %f: the file manager's "Open with" hands over one picture.
        argv = split_exec(unescape(entry.get("Exec", "")))
        check(argv == [prefix + "/lumivert", "%f"], f"Exec runs {argv}, not {prefix}/lumivert %f")
        check(unescape(entry.get("Path", "")) == prefix, f"Path is {entry.get('Path')}")
        if validator:
            result = subprocess.run([validator, entry_path], capture_output=True, text=True)
            check(result.returncode == 0 and "error" not in result.stdout, f"desktop-file-validate: {result.stdout}")
    hicolor = destdir + os.path.join(data_dir, "icons", "hicolor")
    for size in (16, 22, 24, 32, 48, 64, 128, 256):
        with Image.open(os.path.join(hicolor, f"{size}x{size}", "apps", "lumivert.png")) as image:
            check((image.format, image.size) == ("PNG", (size, size)), f"the {size} px icon is {image.format} {image.size}")
    root = ElementTree.parse(os.path.join(hicolor, "scalable", "apps", "lumivert.svg")).getroot()
    check(root.tag == "{http://www.w3.org/2000/svg}svg", f"the scalable icon is a {root.tag}")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--build-dir", "--data-dir", "--validator"):
        parser.add_argument(option, required=option != "--validator", default="")
    args = parser.parse_args()
    with open(os.path.join(args.build_dir, "CMakeCache.txt"), encoding="utf-8") as f:
        default_prefix = re.search(r"^CMAKE_INSTALL_PREFIX:\w+=(.*)$", f.read(), re.M)[1]
    with tempfile.TemporaryDirectory() as scratch:
        for name, prefix in (("default", default_prefix), ("awkward", AWKWARD_PREFIX)):
            check_installation(args.build_dir, os.path.join(scratch, name), prefix, args.data_dir, args.validator,
                               default_prefix)
    print(*(f"FAIL: {failure}" for failure in failures), sep="\n")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
