#!/usr/bin/env bash
# The main job: installs what is missing and builds the library (scripts/setup.sh release),
# installs it under build/install, builds the C++ example of examples/cpp against that installed
# package and runs it on Debian's Fashion-MNIST. Arguments go to the example (see its first lines).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh release
prefix=$PWD/build/install
cmake --install build/release --prefix "$prefix" > /dev/null
cmake -S examples/cpp -B build/example -G Ninja -DCMAKE_PREFIX_PATH="$prefix" > /dev/null
cmake --build build/example
build/example/fashion_mnist /usr/share/datasets/fashion-mnist build/example/fashion_mnist.tarvo "$@"
