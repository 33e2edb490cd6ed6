"""add, buildSearcher and search: every graph type at every level, results written in place,
the argument errors of the NumPy conversions and the size checks."""

import threading
import time

import numpy as np
import pytest

import tarvo
from conftest import (DIM, GRAPH_TYPES, K, LEVELS, built_index, exact_knn, quantizer_name,
                      recall, search, vectors)


@pytest.mark.parametrize("level", sorted(LEVELS))
@pytest.mark.parametrize("index_type", GRAPH_TYPES)
def test_each_graph_type_and_level_finds_the_nearest_rows(data, queries, index_type, level):
    index = built_index(data, index_type, level)
    assert quantizer_name(index.serialize()) == LEVELS[level]
    assert (index.getNTotal(), index.getDim()) == (len(data), DIM)
    labels, distances = search(index, queries, threads=4)
    truth, truth_distances = exact_knn(data, queries, K)
    assert recall(labels, truth) >= 0.9
    assert np.all(np.diff(distances, axis=1) >= 0)
    # 8-bit and 4-bit codes are re-ranked with exact distances; 16-bit floats are close to them.
    exact = ((queries[:, None, :] - data[labels]) ** 2).sum(axis=2)
    np.testing.assert_allclose(distances, exact, rtol=1e-2 if level == 3 else 1e-5, atol=1e-4)


def test_search_fills_the_callers_arrays_in_place(ready, data):
    query = data[:5]
    distances = np.full((5, K), 7.0, dtype=np.float32)
    labels = np.full((5, K), 7, dtype=np.int64)
    assert ready.search(5, query, K, distances, labels, 1) == 0
    assert np.array_equal(labels[:, 0], np.arange(5))
    assert np.array_equal(distances[:, 0], np.zeros(5, dtype=np.float32))
    expected_labels, expected_distances = search(ready, query)
    assert np.array_equal(labels, expected_labels)
    assert np.array_equal(distances, expected_distances)


def test_one_dimensional_query_and_one_row_are_one_query(ready, data):
    expected = search(ready, data[3:4])
    for query in (data[3], data[3:4], data[3].astype(np.float64), data[3].tolist()):
        distances = np.zeros(K, dtype=np.float32)
        labels = np.zeros(K, dtype=np.int64)
        assert ready.search(1, query, K, distances, labels, 1) == 0
        assert np.array_equal(labels, expected[0][0]) and np.array_equal(distances, expected[1][0])


def test_query_of_three_dimensions_prints_the_shape_line_and_searches_its_first_row(
        ready, data, printed):
    query = np.stack([data[:3], data[3:6]])  # shape (2, 3, DIM)
    labels, distances = np.zeros(K, dtype=np.int64), np.zeros(K, dtype=np.float32)
    assert ready.search(2, query, K, distances, labels, 1) == 0
    assert ("Input vector data wrong shape. Number of dimensions 3. "
            "Data must be a 1D or 2D array.\n" in printed())
    assert np.array_equal(labels, search(ready, data[:1])[0][0])


DISTANCES = "distances must be a C-contiguous numpy.float32 ndarray"
LABELS = "labels must be a C-contiguous numpy.int64 ndarray"
RIGHT_DISTANCES, RIGHT_LABELS = np.zeros((5, K), np.float32), np.zeros((5, K), np.int64)


@pytest.mark.parametrize("distances, labels, expected", [
    (np.zeros((5, K), np.float64), RIGHT_LABELS, DISTANCES),
    (RIGHT_DISTANCES, np.zeros((5, K), np.int32), LABELS),
    ([[0.0] * K] * 5, RIGHT_LABELS, DISTANCES),
    (RIGHT_DISTANCES, [[0] * K] * 5, LABELS),
    (np.zeros((5, 2 * K), np.float32)[:, ::2], RIGHT_LABELS, DISTANCES),
    (RIGHT_DISTANCES, np.zeros((K, 5), np.int64).T, LABELS),
    (np.zeros((5, K), ">f4"), RIGHT_LABELS, DISTANCES),
])
def test_outputs_of_another_kind_raise_type_error(ready, data, distances, labels, expected):
    # The engine would write into a converted copy and the results would be lost.
    with pytest.raises(TypeError, match=expected):
        ready.search(5, data[:5], K, distances, labels, 1)


def test_output_subclass_of_ndarray_is_filled(ready, data):
    class Matrix(np.ndarray):
        pass
    labels = np.zeros((5, K), dtype=np.int64).view(Matrix)
    distances = np.zeros((5, K), dtype=np.float32).view(Matrix)
    assert ready.search(5, data[:5], K, distances, labels, 1) == 0
    assert np.array_equal(labels[:, 0], np.arange(5))


@pytest.mark.parametrize("read_only", ["distances", "labels"])
def test_read_only_output_raises_value_error_before_searching(ready, data, read_only):
    outputs = {"distances": np.zeros((5, K), np.float32), "labels": np.full((5, K), -1, np.int64)}
    outputs[read_only].flags.writeable = False
    with pytest.raises(ValueError, match="array is not writeable"):
        ready.search(5, data[:5], K, outputs["distances"], outputs["labels"], 1)
    assert np.all(outputs["labels"] == -1) and np.all(outputs["distances"] == 0)


@pytest.mark.parametrize("query, message", [
    (np.float32(1.0), "too many indices for an array"),
    (np.zeros((0, DIM), np.float32), "index 0 is out of bounds for axis 0 with size 0"),
])
def test_query_without_a_first_row_raises_index_error(ready, query, message, printed):
    with pytest.raises(IndexError, match=message):
        ready.search(1, query, K, np.zeros((1, K), np.float32), np.zeros((1, K), np.int64), 1)
    if np.ndim(query) == 0:
        assert "Number of dimensions 0." in printed()


@pytest.mark.parametrize("query, message", [
    (np.float32(1.0), "too many indices for an array"),
    (np.zeros((0, DIM), np.float32), "index 0 is out of bounds for axis 0 with size 0"),
])
def test_input_without_a_first_row_raises_index_error(query, message):
    with pytest.raises(IndexError, match=message):
        tarvo.Tarvo(DIM, 32, 64, 60).add(1, query)


@pytest.mark.parametrize("bad", ["not numbers", [[1.0, 2.0], [3.0]], {"a": 1}])
def test_arrays_that_numpy_cannot_convert_raise_its_error(ready, bad):
    outputs = (np.zeros((1, K), np.float32), np.zeros((1, K), np.int64))
    with pytest.raises((ValueError, TypeError)):
        ready.search(1, bad, K, *outputs, 1)
    with pytest.raises((ValueError, TypeError)):
        tarvo.Tarvo(DIM, 32, 64, 60).add(2, bad)


def test_negative_query_count_raises_type_error(ready, data):
    with pytest.raises(TypeError):
        ready.search(-1, data[:1], K, np.zeros((1, K), np.float32), np.zeros((1, K), np.int64), 1)


@pytest.mark.parametrize("query, message", [
    (np.zeros((2, DIM - 1), np.float32),
     r"query of shape \(2, 15\) does not hold 2 rows of the index dimension 16"),
    (np.zeros(DIM + 1, np.float32),
     r"query of shape \(17,\) does not hold 1 rows of the index dimension 16"),
    (np.zeros((2, 0, DIM), np.float32), r"query of shape \(2, 0, 16\)"),
])
def test_query_rows_must_have_the_index_dimension(ready, query, message):
    with pytest.raises(ValueError, match=message):
        ready.search(2, query, K, np.zeros((2, K), np.float32), np.zeros((2, K), np.int64), 1)


@pytest.mark.parametrize("shapes, message", [
    (((5, K - 1), (5, K)), "distances holds 45 values; 5 queries with k = 10 need 50"),
    (((5, K), (4, K)), "labels holds 40 values; 5 queries with k = 10 need 50"),
])
def test_outputs_must_hold_k_results_per_query(ready, data, shapes, message):
    distances = np.zeros(shapes[0], np.float32)
    labels = np.full(shapes[1], -1, np.int64)
    with pytest.raises(ValueError, match=message):
        ready.search(5, data[:5], K, distances, labels, 1)
    assert np.all(labels == -1)


def test_larger_outputs_keep_their_values_past_the_results(ready, data):
    distances = np.full(3 * K + 4, 9.0, np.float32)
    labels = np.full(3 * K + 4, 9, np.int64)
    assert ready.search(3, data[:3], K, distances, labels, 1) == 0
    assert np.all(labels[3 * K:] == 9) and np.all(distances[3 * K:] == 9.0)


def test_input_must_hold_n_rows_of_the_dimension():
    index = tarvo.Tarvo(DIM, 32, 64, 60)
    with pytest.raises(ValueError,
                       match="input holds 160 values; n = 11 rows of dimension 16 need 176"):
        index.add(11, np.zeros((10, DIM), np.float32))


def test_engine_refusals_return_minus_one(ready, data, printed):
    outputs = (np.zeros((1, K), np.float32), np.zeros((1, K), np.int64))
    assert ready.search(1, data[:1], 0, *outputs, 1) == -1
    assert "[ERROR] Wrong topk when tarvo search." in printed()
    assert ready.setEf(0) == -1
    assert "[ERROR] Wrong ef when setting ef." in printed()
    unbuilt = tarvo.Tarvo(DIM, 32, 64, 60)
    assert unbuilt.search(1, data[:1], K, *outputs, 1) == -1
    assert unbuilt.buildSearcher() == -1
    assert tarvo.Tarvo(DIM, 5, 64, 60).add(len(data), data) == -1
    assert "[ERROR] Wrong R when creating Tarvo." in printed()


def test_search_lets_other_python_threads_run(data):
    index = built_index(data)
    assert index.setEf(len(data)) == 0
    queries = vectors(4000, seed=3)
    ticks, running = [], True

    def count():
        while running:
            ticks.append(time.perf_counter())
            time.sleep(0.001)

    counter = threading.Thread(target=count)
    counter.start()
    try:
        start = time.perf_counter()
        search(index, queries, threads=1)
        end = time.perf_counter()
    finally:
        running = False
        counter.join()
    # While the search holds no interpreter lock, the counter keeps ticking through it.
    middle = [t for t in ticks if start + 0.25 * (end - start) < t < start + 0.75 * (end - start)]
    assert end - start > 0.05, "the search is too short to tell"
    assert len(middle) >= 5
