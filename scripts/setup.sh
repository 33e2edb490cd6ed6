#!/usr/bin/env bash
# Installs the Debian packages that the library, its tests and CI need (only the missing ones;
# the package lists are refreshed only when something must be installed) and configures and
# builds the release and the sanitizer trees under build/, and the aarch64 cross tree of the
# distance kernels and their tests (run under qemu-user), every tree with warnings as errors;
# `setup.sh release` builds the release tree alone. hnswlib is here for the HNSW recall test,
# which measures against it; the benchmarks' other libraries and tools come from
# scripts/setup_bench.sh, and the release tree builds the benchmarks whose libraries are there.
# The fuzz tree (clang) serves scripts/fuzz.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install_packages.sh \
  cmake ninja-build g++ pkg-config clang libclang-rt-14-dev libomp-dev \
  libgtest-dev libgmock-dev googletest \
  zlib1g-dev libnuma-dev libhnswlib-dev \
  g++-aarch64-linux-gnu qemu-user \
  python3-dev pybind11-dev python3-numpy \
  python3-pytest python3-pip python3-setuptools python3-wheel python3-venv libopenblas0-pthread \
  dataset-fashion-mnist

jobs=$(nproc)
configure_and_build() {  # <tree> <cmake options...>
  local tree=$1
  shift
  cmake -S . -B "build/$tree" -G Ninja -DTARVO_WERROR=ON "$@"
  cmake --build "build/$tree" -j "$jobs"
}

# The Python module is built for Debian's interpreter, whatever python3 comes first on PATH.
configure_and_build release -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE=/usr/bin/python3
if [[ ${1:-} == release ]]; then
  exit 0
fi
configure_and_build asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVO_SANITIZE=ON -DTARVO_BUILD_BENCH=OFF \
  -DPython_EXECUTABLE=/usr/bin/python3
# ThreadSanitizer: only the search and index tests and the Python module, whose concurrency tests
# use plain threads (Debian's OpenMP runtime is not instrumented, so OpenMP code would report false
# races).
cmake -S . -B build/tsan -G Ninja -DTARVO_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVO_TSAN=ON \
  -DTARVO_BUILD_BENCH=OFF -DPython_EXECUTABLE=/usr/bin/python3
cmake --build build/tsan -j "$jobs" --target tarvo_search_tests tarvo_index_tests tarvo_python
configure_and_build aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
  -DCMAKE_BUILD_TYPE=Release -DTARVO_KERNELS_ONLY=ON -DTARVO_BUILD_BENCH=OFF
configure_and_build fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVO_FUZZ=ON \
  -DTARVO_BUILD_BENCH=OFF
