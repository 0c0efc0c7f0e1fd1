#!/usr/bin/python3
"""Installs the built program into scratch roots (DESTDIR), once with a prefix that needs
quoting, and checks what a desktop finds: the program alone in its folder, a desktop entry
whose command line, read back by the desktop entry rules, names that program, and the icons
at the sizes the desktop asks for."""

import argparse
import configparser
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

from PIL import Image

# The characters that need quoting or escaping in an entry (a backslash would too, but
# cmake --install itself cannot install below one).
AWKWARD_PREFIX = '/opt/Lumi Vert 100% "quoted" it\'s $HOME `x`/lumivert'
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def unescape(value):
    escapes = {"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}
    return re.sub(r"\\([sntr\\])", lambda m: escapes[m.group(1)], value)


def split_exec(value):
    """The arguments of an Exec value: a quoted one unescaped, reserved characters only
    inside quotes, and %% as %."""
    matches = list(re.finditer(r'"((?:[^"\\]|\\["`$\\])*)"|[^\s"\'\\><~|&;$*?#()`]+', value))
    check(" ".join(m.group(0) for m in matches) == value, f"Exec {value!r} is not a list of arguments")
    return [(m.group(0) if m.group(1) is None else re.sub(r"\\(.)", r"\1", m.group(1))).replace("%%", "%")
            for m in matches]


def check_installation(build_dir, destdir, prefix, data_dir, validator):
    command = ["cmake", "--install", build_dir] + (["--prefix", prefix] if prefix != build_prefix(build_dir) else [])
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
        parser = configparser.ConfigParser(interpolation=None, delimiters=("=",))
        parser.optionxform = str
        parser.read(entry_path, encoding="utf-8")
        entry = parser["Desktop Entry"]
        check(entry.get("Type") == "Application" and entry.get("Icon") == "lumivert", "not the application's entry")
        argv = split_exec(unescape(entry.get("Exec", "")))
        # %f: the file manager's "Open with" hands over one picture.
        check(argv == [prefix + "/lumivert", "%f"], f"Exec runs {argv}, not {prefix}/lumivert %f")
        check(unescape(entry.get("Path", "")) == prefix, f"Path is {entry.get('Path')}")
        if validator:
            result = subprocess.run([validator, entry_path], capture_output=True, text=True)
            check(result.returncode == 0 and "error" not in result.stdout, f"desktop-file-validate: {result.stdout}")

    hicolor = destdir + os.path.join(data_dir, "icons", "hicolor")
    for size in (48, 256):
        with Image.open(os.path.join(hicolor, f"{size}x{size}", "apps", "lumivert.png")) as image:
            check((image.format, image.size) == ("PNG", (size, size)), f"the {size} px icon is {image.format} {image.size}")
    root = ElementTree.parse(os.path.join(hicolor, "scalable", "apps", "lumivert.svg")).getroot()
    check(root.tag == "{http://www.w3.org/2000/svg}svg", f"the scalable icon is a {root.tag}")


def build_prefix(build_dir):
    with open(os.path.join(build_dir, "CMakeCache.txt"), encoding="utf-8") as f:
        return re.search(r"^CMAKE_INSTALL_PREFIX:\w+=(.*)$", f.read(), re.M).group(1)


def main():
    parser = argparse.ArgumentParser()
    for option in ("--build-dir", "--data-dir", "--validator"):
        parser.add_argument(option, required=option != "--validator", default="")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as scratch:
        for name, prefix in (("default", build_prefix(args.build_dir)), ("awkward", AWKWARD_PREFIX)):
            check_installation(args.build_dir, os.path.join(scratch, name), prefix, args.data_dir, args.validator)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
