#!/usr/bin/env bash
# Installs the Debian packages that the library, its tests and CI need (only the missing ones;
# the package lists are refreshed only when something must be installed) and configures and
# builds the release and the sanitizer trees under build/, and the aarch64 cross tree of the
# distance kernels and their tests (run under qemu-user), every tree with warnings as errors.
# hnswlib is here for the HNSW recall test, which measures against it; the benchmarks' other
# libraries and tools come from scripts/setup_bench.sh, and the release tree builds the
# benchmarks whose libraries are there.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install_packages.sh \
  cmake ninja-build g++ pkg-config \
  libgtest-dev libgmock-dev googletest \
  zlib1g-dev libnuma-dev libhnswlib-dev \
  g++-aarch64-linux-gnu qemu-user \
  python3-dev pybind11-dev python3-numpy \
  dataset-fashion-mnist

jobs=$(nproc)
configure_and_build() {  # <tree> <cmake options...>
  local tree=$1
  shift
  cmake -S . -B "build/$tree" -G Ninja -DTARVO_WERROR=ON "$@"
  cmake --build "build/$tree" -j "$jobs"
}

configure_and_build release -DCMAKE_BUILD_TYPE=Release
configure_and_build asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVO_SANITIZE=ON -DTARVO_BUILD_BENCH=OFF
# ThreadSanitizer: only the search tests, whose concurrency test uses plain threads (Debian's
# OpenMP runtime is not instrumented, so OpenMP code would report false races).
cmake -S . -B build/tsan -G Ninja -DTARVO_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVO_TSAN=ON \
  -DTARVO_BUILD_BENCH=OFF
cmake --build build/tsan -j "$jobs" --target tarvo_search_tests
configure_and_build aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
  -DCMAKE_BUILD_TYPE=Release -DTARVO_KERNELS_ONLY=ON -DTARVO_BUILD_BENCH=OFF
