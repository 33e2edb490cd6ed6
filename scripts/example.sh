#!/usr/bin/env bash
# The main job: installs what is missing and builds the library and the Python module
# (scripts/setup.sh release), installs the library under build/install, builds the C++ example of
# examples/cpp against that installed package and runs it on Debian's Fashion-MNIST, then runs
# the same job in Python (examples/python) with the module of the release tree.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh release
prefix=$PWD/build/install
cmake --install build/release --prefix "$prefix" > /dev/null
cmake -S examples/cpp -B build/example -G Ninja -DCMAKE_PREFIX_PATH="$prefix" > /dev/null
cmake --build build/example
build/example/fashion_mnist /usr/share/datasets/fashion-mnist build/example/fashion_mnist.tarvo
PYTHONPATH=build/release/python /usr/bin/python3 examples/python/fashion_mnist.py
