"""Construction of tarvo.Tarvo: both overloads with their keywords and defaults, the calls that
fit neither, the process-wide NUMA settings and set_num_threads."""

import ctypes
import threading

import numpy as np
import pytest

import tarvo
from conftest import DIM, built_index

_numa = ctypes.CDLL("libnuma.so.1")
NUMA_AVAILABLE = _numa.numa_available() != -1
MACHINE_NODES = _numa.numa_max_node() + 1
_gomp = ctypes.CDLL("libgomp.so.1")


def test_four_arguments_give_an_ssg_rnn_descent_index_without_numa(printed):
    index = tarvo.Tarvo(128, 32, 64, 60)
    out = printed()
    assert ("[SSG] R:32, L:64, A:60.00, n_try:10, index_type: SSG, init_builder_type: RNNDescent\n"
            in out)
    assert "Numa" not in out
    assert (index.getNTotal(), index.getDim()) == (0, 128)


def test_defaults_build_what_the_explicit_arguments_build(data):
    implicit = built_index(data).serialize()
    explicit = tarvo.Tarvo(DIM, 32, 64, 60, 0, "L2", "RNNDescent", "SSG", False, 1)
    assert explicit.add(len(data), data, 20, 0, 0) == 0
    assert explicit.buildSearcher() == 0
    assert np.array_equal(implicit, explicit.serialize())


def test_every_parameter_is_a_keyword(data, printed):
    index = tarvo.Tarvo(K_features=DIM, R=32, L=64, A=60, graph_opt_iter=2, metric="IP",
                        init_builder_type="NNDescent", index_type="TSDG", numa_enabled=False,
                        numa_nodes_number=1)
    assert "index_type: TSDG, init_builder_type: NNDescent" in printed()
    assert index.add(n=len(data), input=data, consecutive=8, reorder=1, level=0) == 0
    assert index.buildSearcher() == 0
    assert index.setEf(ef=64) == 0
    assert index.setEarlyStoppingParams(adding_pref=8, patience=16) == 0
    query = data[:3]
    distances = np.zeros((3, 5), dtype=np.float32)
    labels = np.zeros((3, 5), dtype=np.int64)
    assert index.search(n=3, query=query, k=5, distances=distances, labels=labels,
                        num_threads=2) == 0
    # Inner product, negated so that smaller is closer.
    expected = -np.einsum("qd,qkd->qk", query, data[labels])
    np.testing.assert_allclose(distances, expected, rtol=1e-5)


def test_hnsw_takes_half_of_r_as_m(printed):
    tarvo.Tarvo(DIM, 21, 64, 60, index_type="HNSW")
    assert f"K_features:{DIM}, R:10, L:64\n" in printed()


def test_add_defaults_are_consecutive_20_and_level_0(data, tmp_path, printed):
    index = tarvo.Tarvo(DIM, 32, 64, 60)
    assert index.add(len(data), data) == 0
    printed()
    assert index.saveGraph(str(tmp_path / "g")) == 0
    assert (f"dim:{DIM}, quantLevel:0, ValidData: 1, metric:1, consecutiveLog:20, nb:{len(data)}"
            in printed())


def test_two_positional_arguments_give_an_empty_index(printed):
    for numa in (False, np.bool_(False), None):
        index = tarvo.Tarvo(numa, 1)
        assert (index.getNTotal(), index.getDim()) == (0, 0)
    printed()
    assert index.add(1, np.zeros((1, 4), dtype=np.float32)) == -1
    assert "[Error] Index created without parameter cannot add." in printed()


@pytest.mark.parametrize("args, kwargs", [
    ((), {}),
    ((DIM, 32, 64), {}),
    ((False, 1, 2), {}),
    (("16", 32, 64, 60), {}),
    ((DIM, 32, 64, 60.5), {}),
    ((DIM, 32, 64, 60), {"metric": 2}),
    ((DIM, 32, 64, 60), {"colour": "red"}),
    ((False, "1"), {}),
    ((), {"numa_enabled": False, "numa_nodes_number": 1}),
])
def test_calls_that_fit_neither_overload_raise_type_error(args, kwargs):
    with pytest.raises(TypeError):
        tarvo.Tarvo(*args, **kwargs)


def numa_replicas(requested):
    """The replicas that a NUMA-mode constructor makes on this machine (0: NUMA mode off)."""
    return min(requested, MACHINE_NODES) if NUMA_AVAILABLE else 0


def test_numa_settings_apply_to_every_index_of_the_process(data, tmp_path, printed):
    # Made while NUMA mode is on (where the machine has it): one replica per node.
    older = tarvo.Tarvo(DIM, 32, 64, 60, numa_enabled=True, numa_nodes_number=2)
    replicas = numa_replicas(2)
    if replicas:
        assert f"[+]Numa enabled, initial impl on {replicas} nodes.\n" in printed()
    assert older.add(len(data), data) == 0
    printed()

    # The defaults of the next constructor switch NUMA mode off for the whole process, so the
    # older index finds no index of its own in that mode.
    tarvo.Tarvo(DIM, 32, 64, 60)
    if replicas:
        assert older.buildSearcher() == -1
        assert ("[ERROR] impl is nullptr. maybe caused by inconsistent status of NUMA_ENABLED."
                in printed())

    # Switched on again by a later constructor, the older index works in its own mode.
    tarvo.Tarvo(True, 2)
    try:
        assert older.buildSearcher() == 0
        printed()
        assert older.save(str(tmp_path / "index")) == 0
        assert ("Save on Node 0\n" in printed()) == bool(replicas)
    finally:
        tarvo.Tarvo(False, 1)  # NUMA mode off again for the indexes of the other tests


def test_set_num_threads_sets_the_calling_threads_team_size():
    before = _gomp.omp_get_max_threads()
    try:
        assert tarvo.set_num_threads(num_threads=3) is None
        assert _gomp.omp_get_max_threads() == 3
        seen = []
        other = threading.Thread(target=lambda: seen.append(_gomp.omp_get_max_threads()))
        other.start()
        other.join()
        assert seen != [3]
    finally:
        tarvo.set_num_threads(before)
