"""The array that add hands to the engine, which reads it again in buildSearcher and saveGraph:
the index keeps it alive, also when add had to convert the caller's object."""

import gc

import numpy as np
import pytest

import tarvo
from conftest import DIM, search, vectors

CONVERSIONS = {
    "float64": lambda v: v.astype(np.float64),
    "list": lambda v: v.tolist(),
    "strided view": lambda v: np.repeat(v, 2, axis=0)[::2],
    "own float32": lambda v: v.copy(),
}


def scribble():
    """Allocates and fills memory of the size of the dropped arrays, so that a read of freed
    memory finds other values."""
    return [np.full((600, DIM), 1e6, dtype=np.float64) for _ in range(8)]


def assert_rows_find_themselves(index, data):
    assert index.setEf(64) == 0
    labels, distances = search(index, data[:50], k=1)
    assert np.array_equal(labels[:, 0], np.arange(50))
    assert np.all(distances[:, 0] == 0)


@pytest.mark.parametrize("kind", sorted(CONVERSIONS))
def test_build_searcher_reads_the_added_rows_after_the_caller_dropped_them(kind):
    data = vectors(seed=4)
    index = tarvo.Tarvo(DIM, 32, 64, 60)
    source = CONVERSIONS[kind](data)
    assert index.add(len(data), source) == 0
    del source
    gc.collect()
    garbage = scribble()
    assert index.buildSearcher() == 0
    del garbage
    assert_rows_find_themselves(index, data)


def test_save_graph_writes_the_added_rows_after_the_caller_dropped_them(tmp_path):
    data = vectors(seed=5)
    index = tarvo.Tarvo(DIM, 32, 64, 60)
    assert index.add(len(data), data.astype(np.float64)) == 0
    gc.collect()
    garbage = scribble()
    assert index.saveGraph(str(tmp_path / "graph")) == 0
    del garbage
    loaded = tarvo.Tarvo(False, 1)
    assert loaded.loadGraph(str(tmp_path / "graph")) == 0
    assert_rows_find_themselves(loaded, data)
