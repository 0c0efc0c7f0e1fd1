#!/usr/bin/python3
"""Installs the built program into scratch roots (DESTDIR) and checks what a desktop finds
there: the program alone in its own folder, a desktop entry whose command line names that
program, and the icons at the sizes the desktop asks for.

The entry is read back with a parser of its own, written from the desktop entry rules, so a
quoting mistake in the writer shows up as a different program path."""

import argparse
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

from PIL import Image

# A prefix with the characters that need quoting or escaping in an entry (a backslash would
# too, but cmake --install itself cannot install below one).
AWKWARD_PREFIX = '/opt/Lumi Vert 100% "quoted" it\'s $HOME `x`/lumivert'

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def read_entry(path):
    groups, group = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f.read().splitlines():
            if not line or line.startswith("#"):
                continue
            if line.startswith("["):
                group = groups.setdefault(line.strip("[]"), {})
            else:
                key, _, value = line.partition("=")
                group[key.strip()] = value.strip()
    return groups


def unescape_string(value):
    replacements = {"s": " ", "n": "\n", "t": "\t", "r": "\r", "\\": "\\"}
    out, i = [], 0
    while i < len(value):
        if value[i] == "\\" and i + 1 < len(value) and value[i + 1] in replacements:
            out.append(replacements[value[i + 1]])
            i += 2
        else:
            out.append(value[i])
            i += 1
    return "".join(out)


def split_exec(value):
    """The command line of an Exec value, after the string unescaping."""
    args, current, quoted, started, i = [], [], False, False, 0
    while i < len(value):
        c = value[i]
        if quoted:
            if c == "\\" and i + 1 < len(value) and value[i + 1] in '"`$\\':
                current.append(value[i + 1])
                i += 1
            elif c == '"':
                quoted = False
            else:
                current.append(c)
        elif c == '"':
            quoted = started = True
        elif c == " ":
            if started:
                args.append("".join(current))
                current, started = [], False
        else:
            current.append(c)
            started = True
        i += 1
    if quoted:
        raise ValueError("unterminated quote in Exec: " + value)
    if started:
        args.append("".join(current))
    return [a.replace("%%", "%") for a in args]


def cached_install_prefix(build_dir):
    with open(os.path.join(build_dir, "CMakeCache.txt"), encoding="utf-8") as f:
        for line in f:
            if line.startswith("CMAKE_INSTALL_PREFIX:"):
                return line.split("=", 1)[1].rstrip("\n")
    raise LookupError("CMAKE_INSTALL_PREFIX not in the cache")


def install(build_dir, destdir, prefix):
    command = ["cmake", "--install", build_dir]
    if prefix is not None:
        command += ["--prefix", prefix]
    result = subprocess.run(command, env=dict(os.environ, DESTDIR=destdir),
                            capture_output=True, text=True)
    check(result.returncode == 0, f"cmake --install failed: {result.stdout}{result.stderr}")


def check_installation(destdir, prefix, data_dir, validator):
    folder = destdir + prefix
    program = os.path.join(folder, "lumivert")
    if check(os.path.isfile(program), f"no program at {program}"):
        check(os.access(program, os.X_OK), "the installed program is not executable")
        with open(program, "rb") as f:
            check(f.read(4) == b"\x7fELF", "the installed program is not an ELF file")
        # The program's files will land beside it: the folder starts with nothing else.
        check(os.listdir(folder) == ["lumivert"], f"the program's folder holds {os.listdir(folder)}")

    entry_path = destdir + os.path.join(data_dir, "applications", "lumivert.desktop")
    if check(os.path.isfile(entry_path), f"no desktop entry at {entry_path}"):
        entry = read_entry(entry_path).get("Desktop Entry", {})
        check(entry.get("Type") == "Application", "the entry is not an application")
        check(entry.get("Icon") == "lumivert", "the entry names another icon")
        argv = split_exec(unescape_string(entry.get("Exec", "")))
        # %f: the file manager's "Open with" hands over one picture.
        check(argv == [prefix + "/lumivert", "%f"], f"Exec runs {argv}, not {prefix}/lumivert %f")
        check(unescape_string(entry.get("Path", "")) == prefix, f"Path is {entry.get('Path')}")
        if validator:
            result = subprocess.run([validator, entry_path], capture_output=True, text=True)
            check(result.returncode == 0 and "error" not in result.stdout,
                  f"desktop-file-validate: {result.stdout}{result.stderr}")

    hicolor = destdir + os.path.join(data_dir, "icons", "hicolor")
    for size in (48, 256):
        png = os.path.join(hicolor, f"{size}x{size}", "apps", "lumivert.png")
        if check(os.path.isfile(png), f"no {size} px icon at {png}"):
            with Image.open(png) as image:
                check(image.format == "PNG" and image.size == (size, size),
                      f"the {size} px icon is {image.format} {image.size}")
    svg = os.path.join(hicolor, "scalable", "apps", "lumivert.svg")
    if check(os.path.isfile(svg), f"no scalable icon at {svg}"):
        root = ElementTree.parse(svg).getroot()
        check(root.tag == "{http://www.w3.org/2000/svg}svg", f"the scalable icon is a {root.tag}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--data-dir", required=True)
    parser.add_argument("--validator", default="")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as scratch:
        default_root = os.path.join(scratch, "default")
        install(args.build_dir, default_root, None)
        check_installation(default_root, cached_install_prefix(args.build_dir),
                           args.data_dir, args.validator)

        awkward_root = os.path.join(scratch, "awkward")
        install(args.build_dir, awkward_root, AWKWARD_PREFIX)
        check_installation(awkward_root, AWKWARD_PREFIX, args.data_dir, args.validator)

    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
