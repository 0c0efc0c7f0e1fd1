#!/usr/bin/env bash
# Builds the Debian package and checks it with lintian:
#
#   scripts/package.sh [--no-setup] [FOLDER]
#
# The sources (the files git tracks or would track) are copied to FOLDER/lumivert/ and built
# there with dpkg-buildpackage, so the tree stays clean; lumivert_*.deb lands in FOLDER
# (build/package/ by default). Install it with: apt install ./build/package/lumivert_*.deb
# --no-setup skips installing the build's packages through scripts/setup-debian.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--no-setup" ]; then
  shift
else
  scripts/setup-debian.sh
fi
out=$(realpath -m "${1:-build/package}")
source="$out/lumivert"

rm -rf "$source"
mkdir -p "$source"
rm -f "$out"/lumivert_* "$out"/lumivert-dbgsym_*
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
    tar --null -T - -cf - | tar -xf - -C "$source"
else
  tar --exclude=./build --exclude=./.git -cf - . | tar -xf - -C "$source"
fi

export DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-nocheck parallel=$(nproc)}"
(cd "$source" && dpkg-buildpackage -us -uc -b)

# Every error and warning fails the package; pedantic and informational tags are listed.
lintian --fail-on error,warning --display-info "$out"/lumivert_*.changes
ls "$out"/lumivert_*.deb
