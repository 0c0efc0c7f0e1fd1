#!/usr/bin/env bash
# Installs every Debian package Lumivert needs to build, run, test and benchmark.
# Idempotent: installs only what is missing, and refreshes the package lists only then.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build pkg-config git
  # libraries
  qt6-base-dev qt6-websockets-dev libpng-dev libjpeg62-turbo-dev libgif-dev
  # readers for WebP and TIFF pictures the user opens
  qt6-image-formats-plugins
  libdeflate-dev
  # Unicode's case-folding data, from which the maps' key folding is generated
  unicode-data
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev python3 python3-pil imagemagick
  libvips-tools
  # djpeg, the decoder the opening of a photo is measured against (bench/compare --opening)
  libjpeg-turbo-progs
  # the libFuzzer targets (clang's fuzzer and sanitizer runtimes)
  clang libclang-rt-14-dev
  # the browser, the desktop's file opener, a display for the window tests, Japanese glyphs
  # (and Qt's own texts in Japanese)
  chromium xdg-utils xvfb xauth fonts-noto-cjk
  qt6-translations-l10n
  # the desktop entry's validator; clicks for the screenshots
  desktop-file-utils xdotool
  # Qt's Wayland platform, and a headless compositor for the tests under Wayland
  qt6-wayland weston
  # the Debian package: its build, its checks (lintian, the AppStream validator)
  debhelper dpkg-dev lintian appstream
  # the clipboard, through which the soak reads message boxes and asks the window for an answer
  xclip
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages present"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || {
    echo "setup: missing ${missing[*]}; run me as root to install them (sudo is not installed)" >&2
    exit 1
  }
  sudo="sudo"
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
