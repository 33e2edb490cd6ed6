"""Index files, blobs and graph files: every way out and back in gives the same index, also
between this module and the C++ library."""

import os
import subprocess

import numpy as np
import pytest

import tarvo
from conftest import DIM, K, LEVELS, built_index, quantizer_name, search


def empty():
    return tarvo.Tarvo(False, 1)


def assert_same_results(a, b, queries):
    for x, y in zip(search(a, queries), search(b, queries)):
        assert np.array_equal(x, y)


def test_save_and_load_give_the_same_index(ready, queries, tmp_path):
    path = str(tmp_path / "index")
    assert ready.save(path) == 0
    loaded = empty()
    assert loaded.load(path) == 0
    assert (loaded.getNTotal(), loaded.getDim()) == (ready.getNTotal(), ready.getDim())
    assert loaded.setEf(64) == 0
    assert_same_results(ready, loaded, queries)
    assert np.array_equal(np.fromfile(path, np.uint8), ready.serialize())


def test_serialize_and_deserialize_give_the_same_index(ready, queries):
    blob = ready.serialize()
    assert blob.dtype == np.uint8 and blob.ndim == 1 and blob.flags.writeable
    loaded = empty()
    assert loaded.deserialize(blob) == 0
    del blob  # the index copied what it keeps
    assert loaded.setEf(64) == 0
    assert_same_results(ready, loaded, queries)
    assert np.array_equal(loaded.serialize(), ready.serialize())


@pytest.mark.parametrize("layout", ["strided view", "two dimensions", "list"])
def test_deserialize_takes_any_array_of_the_blobs_bytes(ready, queries, layout):
    blob = ready.serialize()
    if layout == "strided view":
        spaced = np.zeros(2 * len(blob), np.uint8)
        spaced[::2] = blob
        given = spaced[::2]
        assert not given.flags.c_contiguous
    elif layout == "two dimensions":
        given = np.concatenate([blob, np.zeros(-len(blob) % 4, np.uint8)]).reshape(-1, 4)
    else:
        given = blob.tolist()
    loaded = empty()
    assert loaded.deserialize(data_arr=given) == 0
    assert loaded.setEf(64) == 0
    assert_same_results(ready, loaded, queries)


def test_serialize_without_a_searcher_gives_an_empty_array(data, printed):
    index = tarvo.Tarvo(DIM, 32, 64, 60)
    assert index.add(len(data), data) == 0
    for unready in (index, empty()):
        blob = unready.serialize()
        assert blob.dtype == np.uint8 and blob.shape == (0,)
    assert "[ERROR] Try to serialize a invalid Index." in printed()


def test_deserialize_refusals(printed):
    assert empty().deserialize(np.zeros(0, np.uint8)) == -1
    assert "[ERROR] Input dataLength to Deserialize is 0." in printed()
    assert empty().deserialize(np.zeros(40, np.uint8)) == -1
    for unconvertible in ("blob", object()):
        with pytest.raises(TypeError):
            empty().deserialize(unconvertible)


def test_blob_with_an_oversized_name_length_is_refused(printed):
    assert empty().deserialize(np.array([0, 0, 0, 0x80, 0, 0, 0, 0], np.uint8)) == -1
    assert "[ERROR] Try to deserialize a invalid Index." in printed()


@pytest.mark.parametrize("level", sorted(LEVELS))
def test_graph_file_gives_the_searcher_that_the_graph_gives(data, queries, tmp_path, level):
    path = str(tmp_path / "graph")
    index = tarvo.Tarvo(DIM, 32, 64, 60)
    assert index.add(len(data), data, level=level) == 0
    assert index.saveGraph(path) == 0
    assert index.buildSearcher() == 0
    loaded = empty()
    assert loaded.loadGraph(path) == 0
    assert quantizer_name(loaded.serialize()) == LEVELS[level]
    assert (loaded.getNTotal(), loaded.getDim()) == (len(data), DIM)
    for ready in (index, loaded):
        assert ready.setEf(64) == 0
    assert_same_results(index, loaded, queries)
    assert np.array_equal(loaded.serialize(), index.serialize())


def test_load_graph_at_another_level(data, tmp_path):
    path = str(tmp_path / "graph")
    index = tarvo.Tarvo(DIM, 32, 64, 60)
    assert index.add(len(data), data) == 0
    assert index.saveGraph(path=path) == 0
    loaded = empty()
    assert loaded.loadGraph(path=path, level=2) == 0
    assert quantizer_name(loaded.serialize()) == "SQ4U"


def test_file_refusals_return_minus_one(ready, tmp_path, printed):
    assert empty().load(str(tmp_path / "missing")) == -1
    assert empty().loadGraph(str(tmp_path / "missing")) == -1
    assert ready.saveGraph(str(tmp_path / "graph")) == -1
    assert "[ERROR] Cannot save graph after searcher has been built." in printed()
    assert ready.save("") == -1
    assert "[ERROR] Saving Path is null or empty." in printed()


# The C++ side builds on one thread too, as the tests' own builds do.
TOOL_ENVIRONMENT = dict(os.environ, OMP_NUM_THREADS="1")


def write_f32(path, array):
    np.ascontiguousarray(array, np.float32).tofile(path)
    return str(path)


@pytest.mark.parametrize("index_type, level", [("SSG", 1), ("HNSW", 3)])
def test_index_files_pass_between_cpp_and_python(index_file_tool, data, queries, tmp_path,
                                                 index_type, level):
    vectors_file = write_f32(tmp_path / "vectors.f32", data)
    queries_file = write_f32(tmp_path / "queries.f32", queries)

    def cpp_search(index_path, copy_path):
        labels, distances = tmp_path / "labels.i64", tmp_path / "distances.f32"
        subprocess.run([index_file_tool, "search", index_path, queries_file, str(len(queries)),
                        str(K), labels, distances, copy_path], check=True,
                       stdout=subprocess.DEVNULL, env=TOOL_ENVIRONMENT)
        shape = (len(queries), K)
        return (np.fromfile(labels, np.int64).reshape(shape),
                np.fromfile(distances, np.float32).reshape(shape))

    # Written by C++, read by Python: the same results, and saved again the same bytes.
    cpp_file = str(tmp_path / "cpp.index")
    subprocess.run([index_file_tool, "build", vectors_file, str(len(data)), str(DIM), "32", "64",
                    "60", index_type, str(level), cpp_file], check=True, stdout=subprocess.DEVNULL,
                   env=TOOL_ENVIRONMENT)
    from_cpp = empty()
    assert from_cpp.load(cpp_file) == 0
    cpp_labels, cpp_distances = cpp_search(cpp_file, str(tmp_path / "cpp.copy"))
    labels, distances = search(from_cpp, queries)
    assert np.array_equal(labels, cpp_labels) and np.array_equal(distances, cpp_distances)
    assert from_cpp.save(str(tmp_path / "cpp.python")) == 0
    assert (tmp_path / "cpp.python").read_bytes() == (tmp_path / "cpp.index").read_bytes()

    # Written by Python, read by C++: the same results, and saved again the same bytes.
    python_file = str(tmp_path / "python.index")
    index = built_index(data, index_type, level)
    assert index.save(python_file) == 0
    fresh = empty()
    assert fresh.load(python_file) == 0
    labels, distances = search(fresh, queries)
    cpp_labels, cpp_distances = cpp_search(python_file, str(tmp_path / "python.cpp"))
    assert np.array_equal(labels, cpp_labels) and np.array_equal(distances, cpp_distances)
    assert (tmp_path / "python.cpp").read_bytes() == (tmp_path / "python.index").read_bytes()
