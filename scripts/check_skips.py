#!/usr/bin/python3
"""Lists the tests a ctest run skipped, with each one's reason, from its JUnit report.

A skip is only a skip when this machine cannot give what the test needs (it runs as root, or
without root, no pid namespace, a sanitizer's own allocator); a skip for want of a tool that
scripts/setup-debian.sh installs (Chromium, Pillow, Xvfb, weston, a validator...) is a failure.

    scripts/check_skips.py REPORT.xml    exit 0: no skip, or only allowed ones; 1: any other
"""

import re
import sys
import xml.etree.ElementTree as ElementTree

# What a machine or a build may lack for good: the reasons that stay skips.
ALLOWED = [
    r"needs root",
    r"root reads any file",
    r"no new pid namespace",
    r"AddressSanitizer",
]


def skip_reason(output):
    """The text a skipped test gave: a gtest case's lines between "Skipped" and "[  SKIPPED ]",
    or a script's "SKIP: reason" line."""
    match = re.search(r": Skipped\n(.*?)\[  SKIPPED \]", output, re.S) or re.search(r"^SKIP: (.*)$", output, re.M)
    return match[1].strip().replace("\n", " ") if match else "(no reason given)"


def main():
    cases = ElementTree.parse(sys.argv[1]).getroot().iter("testcase")
    skipped = [(case.get("name"), skip_reason(case.findtext("system-out") or ""))
               for case in cases if case.find("skipped") is not None]
    failing = []
    for name, reason in skipped:
        allowed = any(re.search(pattern, reason) for pattern in ALLOWED)
        print(f"skipped: {name}: {reason}{'' if allowed else '  <- not a limit of this machine: FAILED'}")
        if not allowed:
            failing.append(name)
    return 1 if failing else 0


if __name__ == "__main__":
    sys.exit(main())
