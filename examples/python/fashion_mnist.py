#!/usr/bin/python3
"""Indexes Fashion-MNIST with tarvo, searches its test split and reports recall@10 and queries
per second, then saves the index, loads it into a new object and checks that both answer alike.

Needs the Debian packages dataset-fashion-mnist and python3-numpy and the module tarvo (pip
install, see python/README.md, or PYTHONPATH=build/release/python):
    /usr/bin/python3 examples/python/fashion_mnist.py [--train-rows N] [--threads T]
"""

import argparse
import gzip
import os
import sys
import tempfile
import time

import numpy as np

import tarvo

DATA_DIR = "/usr/share/datasets/fashion-mnist"
K = 10


def read_images(split, rows=None):
    """The images of a split ("train" or "t10k") as rows of 784 float32 pixel values 0 to 255."""
    with gzip.open(os.path.join(DATA_DIR, f"{split}-images-idx3-ubyte.gz")) as f:
        magic, count, height, width = np.frombuffer(f.read(16), dtype=">u4")
        if magic != 0x803:
            sys.exit(f"{f.name}: not an idx3 image file")
        pixels = np.frombuffer(f.read(), dtype=np.uint8).reshape(count, height * width)
    return pixels[:rows].astype(np.float32)


def exact_neighbours(base, queries, k, batch=500):
    """The k nearest base rows of every query by squared L2 distance (exact in float64)."""
    base64 = base.astype(np.float64)
    norms = (base64 ** 2).sum(axis=1)
    nearest = np.empty((len(queries), k), dtype=np.int64)
    for start in range(0, len(queries), batch):
        q = queries[start:start + batch].astype(np.float64)
        distances = norms[None, :] - 2.0 * (q @ base64.T)  # the query's own norm ranks nothing
        part = np.argpartition(distances, k, axis=1)[:, :k]
        order = np.argsort(np.take_along_axis(distances, part, axis=1), axis=1)
        nearest[start:start + batch] = np.take_along_axis(part, order, axis=1)
    return nearest


def search(index, queries, threads):
    """Labels and distances of the K nearest rows of every query, and the seconds it took."""
    distances = np.empty((len(queries), K), dtype=np.float32)
    labels = np.empty((len(queries), K), dtype=np.int64)
    start = time.perf_counter()
    if index.search(len(queries), queries, K, distances, labels, threads) != 0:
        sys.exit("search failed")
    return labels, distances, time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--train-rows", type=int, default=None, help="index only the first N rows")
    parser.add_argument("--threads", type=int, default=os.cpu_count(), help="search threads")
    args = parser.parse_args()

    base = read_images("train", args.train_rows)
    queries = read_images("t10k")
    print(f"{len(base)} vectors, {len(queries)} queries, dimension {base.shape[1]}",
          file=sys.stderr)

    # An SSG graph of degree 32 from 100 candidates per node, searched on 8-bit codes that are
    # re-ranked with exact distances.
    index = tarvo.Tarvo(base.shape[1], 32, 100, 60, metric="L2", index_type="SSG")
    start = time.perf_counter()
    if index.add(len(base), base, level=1) != 0 or index.buildSearcher() != 0:
        sys.exit("building the index failed")
    print(f"built in {time.perf_counter() - start:.1f} s", file=sys.stderr)
    index.setEf(64)

    labels, distances, seconds = search(index, queries, args.threads)
    truth = exact_neighbours(base, queries, K)
    hits = sum(len(set(found) & set(true)) for found, true in zip(labels, truth))
    print(f"recall@{K}: {hits / truth.size:.4f}")
    print(f"queries per second: {len(queries) / seconds:.0f} ({args.threads} threads, ef 64)")

    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "fashion-mnist.tarvo")
        if index.save(path) != 0:
            sys.exit("save failed")
        loaded = tarvo.Tarvo(False, 1)
        if loaded.load(path) != 0:
            sys.exit("load failed")
        print(f"saved and loaded {os.path.getsize(path)} bytes", file=sys.stderr)
    loaded.setEf(64)
    loaded_labels, loaded_distances, _ = search(loaded, queries, args.threads)
    same = np.array_equal(labels, loaded_labels) and np.array_equal(distances, loaded_distances)
    print(f"loaded index gives identical results: {'yes' if same else 'NO'}")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
