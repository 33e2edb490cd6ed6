#!/usr/bin/env bash
# Runs the test suites of the trees that scripts/setup.sh built: everything in the release
# tree, and everything but the long recall checks (label "quality") under the sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

ctest --test-dir build/release --output-on-failure -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs" -LE quality
