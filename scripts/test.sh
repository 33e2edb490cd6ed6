#!/usr/bin/env bash
# Runs the test suites of the trees that scripts/setup.sh built: everything in the release
# tree, everything but the long recall checks (label "quality") under ASan and UBSan, the
# concurrent-search tests under ThreadSanitizer, and the kernel tests of the aarch64 tree under
# qemu-user, then a minute of fuzzing per reader (scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

ctest --test-dir build/release --output-on-failure -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs" -LE quality
TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/tarvo_search_tests --gtest_filter='SearcherThreads*'
TSAN_OPTIONS="halt_on_error=1 suppressions=tests/tsan_suppressions.txt" \
  build/tsan/tests/tarvo_index_tests --gtest_filter='TarvoThreads*'
ctest --test-dir build/aarch64 --output-on-failure -j "$jobs"
bash scripts/fuzz.sh 60
