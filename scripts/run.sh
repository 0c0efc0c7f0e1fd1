#!/usr/bin/env bash
# Sets everything up on Debian 12, builds, and starts Lumivert.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake --preset default
cmake --build --preset default
exec build/default/bin/lumivert "$@"
