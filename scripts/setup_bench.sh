#!/usr/bin/env bash
# Installs what the benchmarks need beyond the library's own setup (scripts/setup.sh): Google
# Benchmark, the peers hnswlib (C++ and Python) and faiss, matplotlib for the plots and perf for
# profiling; then configures and builds the release tree, which now builds every benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install_packages.sh libbenchmark-dev libhnswlib-dev libfaiss-dev python3-matplotlib linux-perf \
  python3-hnswlib
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE=/usr/bin/python3
cmake --build build/release -j "$(nproc)"
