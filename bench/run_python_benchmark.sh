#!/usr/bin/env bash
# Measures what the Python binding costs beside what hnswlib's costs, on Fashion-MNIST: the same
# index file searched in one batch from C++ and from Python, with 1 and 8 threads.
# Usage: bash bench/run_python_benchmark.sh [--train-rows N] [--repeat N]
# Results: build/bench-results/python.md (the engine's lines in python-engine.log).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup_bench.sh >/dev/null  # hnswlib for Python and C++, and the release tree
cmake --build build/release --target tarvo_python tarvo_file_search
mkdir -p build/bench-results
PYTHONPATH=build/release/python /usr/bin/python3 bench/python/binding_overhead.py \
  --tool build/release/bench/python/tarvo_file_search --out build/bench-results/python.md "$@" \
  >build/bench-results/python-engine.log
