#!/usr/bin/env python3
"""Turns Unicode's CaseFolding.txt into the table of key_case.cpp.

Usage: generate_case_folding.py CaseFolding.txt OUTPUT

Keeps the full case folding (status C and F); the simple (S) and Turkic (T) alternatives
are left out, as Unicode's default folding does. Each output line is one entry
{code point, {folded code points, 0-padded to 3}}, in ascending order of code point.
"""

import sys

MOST_FOLDED = 3


def foldings(lines):
    table = {}
    for line in lines:
        data = line.split("#", 1)[0].strip()
        if not data:
            continue
        code, status, mapping = (field.strip() for field in data.split(";")[:3])
        if status not in ("C", "F"):
            continue
        point = int(code, 16)
        folded = [int(part, 16) for part in mapping.split()]
        if point in table or not 1 <= len(folded) <= MOST_FOLDED:
            raise SystemExit(f"unexpected entry: {line.strip()}")
        table[point] = folded
    if not table:
        raise SystemExit("no case foldings found")
    return table


def main():
    source, output = sys.argv[1], sys.argv[2]
    with open(source, encoding="utf-8") as f:
        lines = f.readlines()
    version = next((l.strip("# \n") for l in lines if l.startswith("# CaseFolding-")), "unknown version")
    table = foldings(lines)
    with open(output, "w", encoding="utf-8") as out:
        out.write(f"// Generated from {version} by generate_case_folding.py; do not edit.\n")
        for point in sorted(table):
            folded = table[point] + [0] * (MOST_FOLDED - len(table[point]))
            out.write("{0x%04X, {%s}},\n" % (point, ", ".join("0x%04X" % c for c in folded)))


if __name__ == "__main__":
    main()
