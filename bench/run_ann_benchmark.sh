#!/usr/bin/env bash
# Builds and runs the comparison with hnswlib and faiss, then plots it.
# Usage: bash bench/run_ann_benchmark.sh [--quick] [--cosine | --scale [--sizes N,N] [--dims D,D]] [--only TEXT,TEXT] [--repeat N] [--queries N] [--faiss-native]
# Results in build/bench-results: ann.md, ann.json and ann.png for Fashion-MNIST (--quick: its first
# 10,000 images), cosine.md, cosine.json and cosine.png for --cosine (the same images at unit length,
# inner product; then tarvo_cosine_analysis writes cosine-analysis.md: where inner product loses
# recall against squared L2 on those rows), scale.md, scale.json and scale.png for --scale; the engine's lines in engine.log.
# The exact ground truth is cached in build/bench-cache. --faiss-native measures faiss built here
# for this processor from Debian's source package (scripts/build_faiss_native.sh, a few minutes
# the first time) instead of Debian's baseline-x86 binary package.
set -euo pipefail
cd "$(dirname "$0")/.."
args=()
export TARVO_FAISS_NATIVE_DIR=
for arg in "$@"; do
  if [[ $arg == --faiss-native ]]; then
    bash scripts/build_faiss_native.sh >/dev/null
    TARVO_FAISS_NATIVE_DIR=$PWD/build/faiss-native
  else
    args+=("$arg")
  fi
done
set -- "${args[@]}"
bash scripts/setup_bench.sh >/dev/null  # hnswlib, faiss and matplotlib, and the release tree
mkdir -p build/bench-results
# The engine's own progress lines (standard output) go to a log; the benchmark reports on stderr.
build/release/bench/ann/tarvo_ann_benchmark --out build/bench-results --cache build/bench-cache "$@" \
  >build/bench-results/engine.log
if [[ " $* " == *" --scale "* ]]; then
  /usr/bin/python3 bench/ann/plot_scale.py build/bench-results/scale.json build/bench-results/scale.png
  echo "plot: build/bench-results/scale.png"
else
  stem=ann
  if [[ " $* " == *" --cosine "* ]]; then
    stem=cosine
    build/release/bench/ann/tarvo_cosine_analysis --out build/bench-results --cache build/bench-cache \
      >>build/bench-results/engine.log
  fi
  /usr/bin/python3 bench/ann/plot_recall_qps.py build/bench-results/$stem.json build/bench-results/$stem.png
  echo "plot: build/bench-results/$stem.png"
fi
