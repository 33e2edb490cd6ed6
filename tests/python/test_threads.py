"""Searches of one index from several Python threads at once, each search on its own thread
with the interpreter lock released: every code kind, with and without early stopping, answers
each thread as it answers one. scripts/test.sh also runs this file under ThreadSanitizer."""

import threading

import numpy as np
import pytest

from conftest import LEVELS, built_index, search

THREADS = 4
PASSES = 3


@pytest.mark.parametrize("early_stopping", [False, True])
@pytest.mark.parametrize("level", sorted(LEVELS))
def test_threads_searching_one_index_get_what_one_thread_gets(data, queries, level, early_stopping):
    index = built_index(data, "SSG", level)
    if early_stopping:
        assert index.setEarlyStoppingParams(3, 4) == 0
    alone = search(index, queries)
    answers = [[] for _ in range(THREADS)]
    start = threading.Barrier(THREADS)

    def searcher(t):
        start.wait()
        for _ in range(PASSES):
            answers[t].append(search(index, queries))

    threads = [threading.Thread(target=searcher, args=(t,)) for t in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for t in range(THREADS):
        assert len(answers[t]) == PASSES
        for labels, distances in answers[t]:
            np.testing.assert_array_equal(labels, alone[0])
            np.testing.assert_array_equal(distances, alone[1])
