#!/usr/bin/env bash
# Sets everything up on Debian 12, builds, and runs every test, three times over:
#   default  the normal build;
#   asan     the same suite under AddressSanitizer and UndefinedBehaviorSanitizer;
#   fuzz     a short run of each libFuzzer target on its seed corpus (clang).
#
#   scripts/test.sh [--quick] [ctest arguments...]
#
#   --quick  the normal build only, for a fast round while working
# Other arguments go to every ctest run (for instance -R maps). Each build lives in
# build/<preset>/; all three run even when one fails, and the script fails if any did.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=(default asan fuzz)
if [ "${1:-}" = "--quick" ]; then
  presets=(default)
  shift
fi

scripts/setup-debian.sh
failed=()
for preset in "${presets[@]}"; do
  echo "=== $preset: build and test"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" && ctest --preset "$preset" "$@"; }; then
    failed+=("$preset")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "=== failed: ${failed[*]}"
  exit 1
fi
echo "=== all passed: ${presets[*]}"
