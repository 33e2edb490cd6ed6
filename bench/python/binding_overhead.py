#!/usr/bin/python3
"""What the Python binding costs: the same index file searched in one batch call from C++ and
from Python, for tarvo (libtarvo's Tarvo::Search beside the module's search) and for hnswlib
(its C++ searchKnn beside Debian's python3-hnswlib knn_query), with 1 and 8 threads.

Run by bench/run_python_benchmark.sh, which builds the module and tarvo_file_search first.
Writes a Markdown table (to --out and standard error; the engine's own lines go to standard
output); the ratios are Python queries per second over C++ queries per second.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

import hnswlib
import numpy as np

import tarvo

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "examples", "python"))
from fashion_mnist import exact_neighbours, read_images  # noqa: E402

K = 10
EF = 64


def best_seconds(repeat, search):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        search()
        best = min(best, time.perf_counter() - start)
    return best


def cpp_seconds(tool, system, index_path, queries_path, queries, threads, repeat):
    out = subprocess.run(
        [tool, system, index_path, queries_path, str(len(queries)), str(queries.shape[1]), str(K),
         str(EF), str(threads), str(repeat)], check=True, capture_output=True, text=True).stdout
    return float([line for line in out.splitlines() if line.startswith("seconds ")][-1].split()[1])


def recall(labels, truth):
    return sum(len(set(a) & set(b)) for a, b in zip(labels, truth)) / truth.size


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", required=True, help="path of tarvo_file_search")
    parser.add_argument("--train-rows", type=int, default=None)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--out", required=True, help="the Markdown file to write")
    args = parser.parse_args()

    base = read_images("train", args.train_rows)
    queries = read_images("t10k")
    truth = exact_neighbours(base, queries, K)
    n, dim = base.shape

    with tempfile.TemporaryDirectory() as folder:
        queries_path = os.path.join(folder, "queries.f32")
        queries.tofile(queries_path)

        engine = tarvo.Tarvo(dim, 32, 100, 60, index_type="HNSW")
        assert engine.add(n, base) == 0 and engine.buildSearcher() == 0
        tarvo_path = os.path.join(folder, "index.tarvo")
        assert engine.save(tarvo_path) == 0 and engine.setEf(EF) == 0
        distances = np.empty((len(queries), K), np.float32)
        labels = np.empty((len(queries), K), np.int64)

        peer = hnswlib.Index(space="l2", dim=dim)
        peer.init_index(max_elements=n, M=16, ef_construction=100, random_seed=100)
        peer.add_items(base, num_threads=os.cpu_count())
        peer.set_ef(EF)
        hnswlib_path = os.path.join(folder, "index.hnswlib")
        peer.save_index(hnswlib_path)

        rows = []
        for threads in (1, 8):
            def tarvo_search():
                assert engine.search(len(queries), queries, K, distances, labels, threads) == 0

            def hnswlib_search():
                hnswlib_search.labels, _ = peer.knn_query(queries, k=K, num_threads=threads)

            def cpp(system, path):
                return cpp_seconds(args.tool, system, path, queries_path, queries, threads,
                                   args.repeat)

            python = best_seconds(args.repeat, tarvo_search)
            rows.append(("tarvo HNSW M 16", threads, recall(labels, truth),
                         cpp("tarvo", tarvo_path), python))
            python = best_seconds(args.repeat, hnswlib_search)
            rows.append(("hnswlib M 16", threads, recall(hnswlib_search.labels, truth),
                         cpp("hnswlib", hnswlib_path), python))

    table = [f"{n} vectors of dimension {dim}, {len(queries)} queries, k {K}, ef {EF}, best of "
             f"{args.repeat} batch searches", "",
             "| system | threads | recall@10 | C++ QPS | Python QPS | Python / C++ |",
             "|---|---:|---:|---:|---:|---:|"]
    for name, threads, found, cpp, python in rows:
        table.append(f"| {name} | {threads} | {found:.4f} | {len(queries) / cpp:.0f} | "
                     f"{len(queries) / python:.0f} | {cpp / python:.3f} |")
    with open(args.out, "w") as out:
        out.write("\n".join(table) + "\n")
    print("\n".join(table), file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
