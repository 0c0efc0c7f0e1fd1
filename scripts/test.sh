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
# Every skipped test is listed with its reason; a skip this machine could have avoided (a tool
# the set-up installs) fails the run (scripts/check_skips.py).
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
  report="$PWD/build/$preset/test-report.xml"
  rm -f "$report"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" &&
         ctest --preset "$preset" --output-junit "$report" "$@"; }; then
    failed+=("$preset")
  fi
  if [ -f "$report" ] && ! scripts/check_skips.py "$report"; then
    failed+=("$preset (skipped)")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "=== failed: ${failed[*]}"
  exit 1
fi
echo "=== all passed: ${presets[*]} (every skip is listed above with its reason)"
