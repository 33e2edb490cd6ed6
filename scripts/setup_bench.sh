#!/usr/bin/env bash
# Installs what the benchmarks need beyond the library's own setup (scripts/setup.sh): Google
# Benchmark, the peers hnswlib (C++ and Python) and faiss, matplotlib for the plots and perf for
# profiling; then configures and builds the release tree, which now builds every benchmark. With
# TARVO_FAISS_NATIVE_DIR set (bench/run_ann_benchmark.sh --faiss-native does so), the benchmarks
# measure the faiss of that folder, built for this processor, instead of Debian's.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install_packages.sh libbenchmark-dev libhnswlib-dev libfaiss-dev python3-matplotlib linux-perf \
  python3-hnswlib
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE=/usr/bin/python3 \
  -DTARVO_FAISS_NATIVE_DIR="${TARVO_FAISS_NATIVE_DIR:-}"
cmake --build build/release -j "$(nproc)"
