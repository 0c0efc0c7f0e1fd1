#!/usr/bin/env bash
# Sets everything up on Debian 12, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake --preset default
cmake --build --preset default
ctest --preset default "$@"
