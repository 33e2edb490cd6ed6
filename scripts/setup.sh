#!/usr/bin/env bash
# Installs every Debian package Tarvo needs (only the missing ones; the package lists are
# refreshed only when something must be installed) and configures and builds the release and
# the sanitizer trees under build/, and the aarch64 cross tree of the distance kernels and their
# tests (run under qemu-user), and the fuzz tree (clang; scripts/fuzz.sh). `setup.sh release`
# builds the release tree alone.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build g++ pkg-config clang libclang-rt-14-dev libomp-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libnuma-dev
  g++-aarch64-linux-gnu qemu-user
  python3-dev pybind11-dev python3-numpy python3-matplotlib
  libhnswlib-dev python3-hnswlib libfaiss-dev python3-faiss
  dataset-fashion-mnist linux-perf
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y --no-install-recommends "${missing[@]}" || {
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
  }
fi

jobs=$(nproc)
configure_and_build() {  # <tree> <cmake options...>
  local tree=$1
  shift
  cmake -S . -B "build/$tree" -G Ninja "$@"
  cmake --build "build/$tree" -j "$jobs"
}

configure_and_build release -DCMAKE_BUILD_TYPE=Release
if [[ ${1:-} == release ]]; then
  exit 0
fi
configure_and_build asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVO_SANITIZE=ON -DTARVO_BUILD_BENCH=OFF
# ThreadSanitizer: only the search and index tests, whose concurrency tests use plain threads
# (Debian's OpenMP runtime is not instrumented, so OpenMP code would report false races).
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVO_TSAN=ON -DTARVO_BUILD_BENCH=OFF
cmake --build build/tsan -j "$jobs" --target tarvo_search_tests tarvo_index_tests
configure_and_build aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
  -DCMAKE_BUILD_TYPE=Release -DTARVO_KERNELS_ONLY=ON -DTARVO_BUILD_BENCH=OFF
configure_and_build fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVO_FUZZ=ON \
  -DTARVO_BUILD_BENCH=OFF
