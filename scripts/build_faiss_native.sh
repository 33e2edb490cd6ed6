#!/usr/bin/env bash
# Builds the faiss peer for this processor: Debian's own source package of faiss (the release that
# libfaiss-dev ships, with Debian's patches), compiled with its AVX2 variant and -march=native, as
# a static library in build/faiss-native (src/ and build/). Debian's binary package is built for
# baseline x86-64 and runs several times slower; the benchmark names which of the two it measured.
# Enables Debian's source repository (a file of its own in /etc/apt/sources.list.d) when no source
# entry is there yet. Idempotent: a finished build is left as it is.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/faiss-native
lib=$out/build/faiss/libfaiss_avx2.a
if [[ -f $lib ]]; then
  echo "$lib"
  exit 0
fi
bash scripts/install_packages.sh cmake ninja-build g++ libblas-dev liblapack-dev dpkg-dev
if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  cat >/etc/apt/sources.list.d/debian-src.sources <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  apt-get update
fi
if [[ ! -d $out/src ]]; then
  rm -rf "$out/download"
  mkdir -p "$out/download"
  (cd "$out/download" && apt-get source faiss)
  mv "$out"/download/faiss-*/ "$out/src"
  rm -rf "$out/download"
fi
cmake -S "$out/src" -B "$out/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFAISS_OPT_LEVEL=avx2 \
  -DCMAKE_CXX_FLAGS="-march=native" -DFAISS_ENABLE_GPU=OFF -DFAISS_ENABLE_PYTHON=OFF -DBUILD_TESTING=OFF \
  -DBUILD_SHARED_LIBS=OFF >/dev/null
cmake --build "$out/build" --target faiss_avx2 -j "$(nproc)"
echo "$lib"
