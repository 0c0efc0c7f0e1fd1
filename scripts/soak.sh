#!/usr/bin/env bash
# A long day in one command: the real program on a virtual screen, N random actions of a
# person (saves with every option, the check box, pictures opened by drop, by a second copy
# and by the dialog, pauses) with faults injected between them, each action checked; then a
# summary with the descriptor and memory curve. Not run by CI (its short form is the test
# soak_short). Needs a build (scripts/run.sh or scripts/test.sh makes one); as root it also
# fills the program's folder (a small tmpfs) and runs the program as nobody.
#   scripts/soak.sh [--actions N] [--seed S] [--keep FOLDER] [more: scripts/soak/soak.py --help]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${LUMIVERT_BUILD:-build/default}
program=$build/bin/lumivert
drag_tool=$build/bin/lumivert_drag_file
for needed in "$program" "$drag_tool"; do
  [ -x "$needed" ] || { echo "soak: build first ($needed is missing)" >&2; exit 1; }
done
for tool in Xvfb xdotool xclip import; do
  command -v "$tool" >/dev/null || { echo "soak: $tool is missing (scripts/setup-debian.sh installs it)" >&2; exit 77; }
done
exec /usr/bin/python3 scripts/soak/soak.py --program "$program" --drag-tool "$drag_tool" "$@"
