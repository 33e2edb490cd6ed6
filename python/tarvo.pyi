"""Graph-based approximate nearest-neighbour search over dense float vectors."""

from typing import overload

import numpy as np
import numpy.typing as npt

def set_num_threads(num_threads: int) -> None:
    """Sets the OpenMP team size of the calling thread, which add's graph build uses."""

class Tarvo:
    """One index. Methods return 0 on success and -1 on failure (the reason printed)."""

    @overload
    def __init__(self, K_features: int, R: int, L: int, A: int, graph_opt_iter: int = 0,
                 metric: str = "L2", init_builder_type: str = "RNNDescent",
                 index_type: str = "SSG", numa_enabled: bool = False,
                 numa_nodes_number: int = 1) -> None:
        """An index of K_features-dimensional vectors; metric "L2" or "IP", init_builder_type
        "RNNDescent" or "NNDescent", index_type "SSG", "NSG", "TSDG" or "HNSW". The NUMA mode
        and node count are process-wide: they apply to every index from here on."""
    @overload
    def __init__(self, numa_enabled: bool, numa_nodes_number: int, /) -> None:
        """An empty index for load, deserialize or loadGraph (positional arguments only)."""
    def add(self, n: int, input: npt.ArrayLike, consecutive: int = 20, reorder: int = 0,
            level: int = 0) -> int:
        """Builds the graph over the first n rows of input (converted to float32); level 0 FP32,
        1 SQ8U, 2 SQ4U or 3 FP16 chooses the searcher's codes."""
    def search(self, n: int, query: npt.ArrayLike, k: int, distances: npt.NDArray[np.float32],
               labels: npt.NDArray[np.int64], num_threads: int) -> int:
        """Writes up to k nearest rows of every query row into distances and labels (C-contiguous
        ndarrays of at least rows x k elements, filled in place); n is not used."""
    def buildSearcher(self) -> int:
        """Makes the index searchable after add."""
    def save(self, path: str) -> int:
        """Writes the index file at path."""
    def saveGraph(self, path: str) -> int:
        """Writes the graph file at path (after add, before buildSearcher)."""
    def load(self, path: str) -> int:
        """Replaces the index by the index file at path."""
    def loadGraph(self, path: str, level: int = -1) -> int:
        """Replaces the index by the graph file at path and builds its searcher, at the file's
        level (-1) or the one given."""
    def serialize(self) -> npt.NDArray[np.uint8]:
        """The index as bytes (empty when the index is not searchable)."""
    def deserialize(self, data_arr: npt.ArrayLike) -> int:
        """Replaces the index by the bytes that serialize gave."""
    def setEf(self, ef: int) -> int:
        """Sets the search breadth (1 to the number of vectors)."""
    def setEarlyStoppingParams(self, adding_pref: int, patience: int) -> int:
        """Ends a query after patience expansions that placed nothing among its first
        adding_pref candidates."""
    def getNTotal(self) -> int:
        """Number of indexed vectors."""
    def getDim(self) -> int:
        """Vector dimension."""
