"""Shared data and helpers of the tests of the Python module tarvo.

The module is imported from wherever Python finds it: scripts/test.sh puts the build tree's
module first on PYTHONPATH, or runs these tests with the interpreter of an installed copy.
"""

import ctypes
import os
import pathlib

import numpy as np
import pytest

import tarvo

DIM = 16
N = 600
K = 10
LEVELS = {0: "FP32", 1: "SQ8U", 2: "SQ4U", 3: "FP16"}
GRAPH_TYPES = ("SSG", "NSG", "TSDG", "HNSW")

_libc = ctypes.CDLL(None)

# The builds of the tests run on one thread: a small build gains nothing from a team, and one
# thread makes every build a function of its input (the same rows give the same graph).
tarvo.set_num_threads(1)


def flush_c_stdout():
    """The engine prints with C stdio: flush it so that capfd sees its lines in order."""
    _libc.fflush(None)


def vectors(n=N, dim=DIM, seed=1):
    return np.random.default_rng(seed).uniform(-1.0, 1.0, (n, dim)).astype(np.float32)


def exact_knn(data, queries, k):
    """Labels and squared L2 distances of the k nearest rows, nearest first."""
    d = ((queries[:, None, :].astype(np.float64) - data[None, :, :]) ** 2).sum(axis=2)
    labels = np.argsort(d, axis=1, kind="stable")[:, :k]
    return labels, np.take_along_axis(d, labels, axis=1)


def recall(found, truth):
    return np.mean([len(set(f) & set(t)) / len(t) for f, t in zip(found, truth)])


def new_index(index_type="SSG", dim=DIM, **kwargs):
    return tarvo.Tarvo(dim, 32, 64, 60, index_type=index_type, **kwargs)


def built_index(data, index_type="SSG", level=0, **kwargs):
    """An index over data, ready for search with ef 64."""
    index = new_index(index_type, data.shape[1], **kwargs)
    assert index.add(len(data), data, level=level) == 0
    assert index.buildSearcher() == 0
    assert index.setEf(64) == 0
    return index


def search(index, queries, k=K, threads=1):
    distances = np.zeros((len(queries), k), dtype=np.float32)
    labels = np.full((len(queries), k), -1, dtype=np.int64)
    assert index.search(len(queries), queries, k, distances, labels, threads) == 0
    return labels, distances


def quantizer_name(blob):
    """The quantizer-type name that an index blob records after its metric name."""
    metric_length, quant_length = np.frombuffer(blob[:8].tobytes(), dtype="<u4")
    start = 8 + int(metric_length)
    return blob[start:start + int(quant_length)].tobytes().decode()


@pytest.fixture(scope="session")
def data():
    return vectors()


@pytest.fixture(scope="session")
def queries():
    return vectors(40, seed=2)


@pytest.fixture(scope="session")
def ready(data):
    """One searchable SSG index over data, shared by the tests that only search it."""
    return built_index(data)


@pytest.fixture(scope="session")
def index_file_tool():
    """The C++ program that writes and reads index files through libtarvo."""
    root = pathlib.Path(__file__).resolve().parents[2]
    path = pathlib.Path(os.environ.get(
        "TARVO_INDEX_FILE_TOOL", root / "build/release/tests/python/tarvo_index_file_tool"))
    assert path.is_file(), f"{path} is missing: build the release tree (scripts/setup.sh)"
    return path


@pytest.fixture
def printed(capfd):
    """Call it to get what was printed on standard output since the last call."""
    def read():
        flush_c_stdout()
        return capfd.readouterr().out
    read()
    return read
