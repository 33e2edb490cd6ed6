#!/usr/bin/env bash
# Installs what is missing and builds every tree (scripts/setup.sh), then runs the test suites:
# everything in the release tree, everything but the long recall checks (label "quality") under
# ASan and UBSan, the concurrent-search tests under ThreadSanitizer, the kernel tests of the
# aarch64 tree under qemu-user; then the Python tests, on the modules of the release and sanitizer
# trees (the threaded searches also on the ThreadSanitizer tree's) and on a module that pip builds
# from a copy of the sources and installs into a throwaway venv; then the C++ example, built
# against an installed copy of the library; last a minute of fuzzing per reader (scripts/fuzz.sh).
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

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The module of the release tree (the C++ index-file tool of its tests is in the same tree), then
# the sanitized tree's module: the interpreter is not instrumented, so the ASan runtime (and the
# C++ runtime whose throws it intercepts) are preloaded, and the interpreter's leaks not reported.
PYTHONPATH=build/release/python /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/python
LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so)" \
  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 PYTHONPATH=build/asan/python \
  /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/python
# Python threads searching at once, on the module of the ThreadSanitizer tree, its runtime
# preloaded into the uninstrumented interpreter; pytest holds standard error, so a report goes to
# a log that is shown on failure. The builds run in one-thread OpenMP teams: the OpenMP runtime is
# not instrumented, so the sanitizer cannot follow its threads.
if ! OMP_NUM_THREADS=1 LD_PRELOAD="$(g++ -print-file-name=libtsan.so)" PYTHONPATH=build/tsan/python \
    TSAN_OPTIONS="halt_on_error=1 suppressions=tests/tsan_suppressions.txt log_path=$scratch/tsan" \
    /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/python/test_threads.py; then
  cat "$scratch"/tsan.* 2>/dev/null
  exit 1
fi

# A user's install: offline, Debian's packages only, from a clean copy of the sources, into a
# venv that sees the system's NumPy; then imported and tested from another folder.
mkdir "$scratch/src"
tar --exclude=./build --exclude=./.git -cf - . | tar -C "$scratch/src" -xf -
/usr/bin/python3 -m venv --system-site-packages "$scratch/venv"
CMAKE_BUILD_PARALLEL_LEVEL=$jobs "$scratch/venv/bin/python" -m pip install -q \
  --no-build-isolation --no-index "$scratch/src"
root=$PWD
(cd "$scratch" &&
  "$scratch/venv/bin/python" -c 'import sys, tarvo; assert tarvo.__file__.startswith(sys.prefix)' &&
  TARVO_INDEX_FILE_TOOL=$root/build/release/tests/python/tarvo_index_file_tool \
    "$scratch/venv/bin/python" -m pytest -q -p no:cacheprovider "$root/tests/python")

# The example, as a user builds it: against the library installed under a fresh prefix, on a part
# of Fashion-MNIST; it fails unless the loaded index answers exactly as the saved one.
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
