#!/usr/bin/env bash
# Makes the README's pictures from the real program, on a virtual screen:
#   docs/window.png        the window as it opens (ImageMagick's import)
#   docs/result-page.png   the OpenMe.html that a セピア effect save writes, rendered by
#                          headless Chromium
#   docs/window-photo.png  the window with docs/photo.jpg opened (handed to the running copy
#                          as `lumivert PICTURE` does; docs/make_photo.py draws the photo)
#   docs/window-scale2.png the window on a screen of scale 2 (QT_SCREEN_SCALE_FACTORS=2, as a
#                          desktop at 200 % sets it): Qt draws it at 1550 × 726 device pixels
# The program runs from a scratch copy of itself, since it writes its files beside itself.
# Needs a build (scripts/run.sh or scripts/test.sh makes one); the tools come from the setup.
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/default/bin/lumivert
wait_secs=60
[ -x "$program" ] || { echo "screenshots: build first ($program is missing)" >&2; exit 1; }

scratch=$(mktemp -d /tmp/lumivert.XXXXXX)
session=""
finish() {
  # The virtual screen, the program and the browser it started share one process group.
  [ -n "$session" ] && kill -- "-$session" 2>/dev/null
  rm -rf "$scratch"
}
trap finish EXIT
cp "$program" "$scratch/lumivert"

# One session: a virtual screen of size $1, then the program on it at the screen scale $2;
# sets DISPLAY and window.
start_session() {
  rm -f "$scratch/display"
  setsid bash -c '
    exec 4>"$1/display"
    Xvfb -displayfd 4 -screen 0 "$2"x24 -nolisten tcp &
    while [ ! -s "$1/display" ]; do sleep 0.1; done
    DISPLAY=:$(cat "$1/display") QT_SCREEN_SCALE_FACTORS=$3 exec "$1/lumivert"' _ "$scratch" "$1" "$2" \
    >"$scratch/program.log" 2>&1 &
  session=$!
  for ((i = 0; i < wait_secs * 10; i++)); do [ -s "$scratch/display" ] && break; sleep 0.1; done
  export DISPLAY=:$(cat "$scratch/display")
  window=$(timeout $wait_secs xdotool search --sync --onlyvisible --class lumivert | head -n1) ||
    { echo "screenshots: no window within ${wait_secs}s" >&2; cat "$scratch/program.log" >&2; exit 1; }
}

start_session 1280x800 1
sleep 1   # let the first paint settle
mkdir -p docs
import -window "$window" docs/window.png
echo "screenshots: docs/window.png ($(xdotool getwindowname "$window"))"

# Choose セピア among the effects and press the effects' save button, at their designed places
# (the effects frame at 6600, 3480 twips; 15 twips to the pixel).
click_at() { xdotool mousemove --window "$window" $(( $1 / 15 )) $(( $2 / 15 )) click 1; }
click_at $((6600 + 2040 + 120)) $((3480 + 610 + 127))   # option セピア
click_at $((6600 + 3960 + 427)) $((3480 + 240 + 140))   # button 保存
for ((i = 0; i < wait_secs; i++)); do
  grep -qs SampleSepia.bmp "$scratch/OpenMe.html" && break
  sleep 1
done
grep -qs SampleSepia.bmp "$scratch/OpenMe.html" ||
  { echo "screenshots: the effect save wrote no page" >&2; cat "$scratch/program.log" >&2; exit 1; }

rm -f docs/result-page.png
chromium --headless --no-sandbox --disable-gpu --hide-scrollbars \
  --user-data-dir="$scratch/profile" --window-size=460,440 \
  --screenshot="$PWD/docs/result-page.png" "file://$scratch/OpenMe.html" >/dev/null 2>&1
[ -s docs/result-page.png ] || { echo "screenshots: Chromium made no picture" >&2; exit 1; }
echo "screenshots: docs/result-page.png"

# A second start with a picture hands it to the running copy, which shows it.
DISPLAY=$DISPLAY "$scratch/lumivert" "$PWD/docs/photo.jpg"
sleep 2
import -window "$window" docs/window-photo.png
echo "screenshots: docs/window-photo.png"

# The same window on a screen of scale 2, started afresh (the scale is read at start).
kill -- "-$session" 2>/dev/null
wait "$session" 2>/dev/null || true
start_session 2560x1600 2
sleep 1
import -window "$window" docs/window-scale2.png
echo "screenshots: docs/window-scale2.png ($(identify -format '%wx%h' docs/window-scale2.png))"
