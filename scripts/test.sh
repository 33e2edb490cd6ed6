#!/usr/bin/env bash
# Installs what is missing and builds every tree (scripts/setup.sh), then runs the test suites:
# everything in the release tree, everything but the long recall checks (label "quality") under
# ASan and UBSan, the concurrent-search tests under ThreadSanitizer, the kernel tests of the
# aarch64 tree under qemu-user, the C++ example built against an installed copy of the
# library, and a minute of fuzzing per reader (scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
bash scripts/setup.sh

ctest --test-dir build/release --output-on-failure -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs" -LE quality
TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/tarvo_search_tests --gtest_filter='SearcherThreads*'
TSAN_OPTIONS="halt_on_error=1 suppressions=tests/tsan_suppressions.txt" \
  build/tsan/tests/tarvo_index_tests --gtest_filter='TarvoThreads*'
ctest --test-dir build/aarch64 --output-on-failure -j "$jobs"

# The example, as a user builds it: against the library installed under a fresh prefix, on a part
# of Fashion-MNIST; it fails unless the loaded index answers exactly as the saved one.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --install build/release --prefix "$scratch/install" > /dev/null
cmake -S examples/cpp -B "$scratch/example" -G Ninja -DCMAKE_PREFIX_PATH="$scratch/install" > /dev/null
cmake --build "$scratch/example" > /dev/null
if ! "$scratch/example/fashion_mnist" /usr/share/datasets/fashion-mnist "$scratch/index.tarvo" 5000 500 \
    > "$scratch/example.log"; then
  cat "$scratch/example.log"
  exit 1
fi
grep -E '^ +ef |^ +[0-9]+ |identical' "$scratch/example.log"

bash scripts/fuzz.sh 60
