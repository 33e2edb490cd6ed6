#!/usr/bin/python3
"""Draws recall@10 against single-thread queries per second (log scale), one curve per system,
from the ann.json or cosine.json that tarvo_ann_benchmark writes: one panel per code kind of the
engine, each with the engine's configurations of that code (colour: graph type, marker: reordered
or not, line: early stopping, or in the cosine run the metric the graph was built with) and every
peer as a dashed reference, labelled with how it was built."""
import json
import math
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

CODES = ["FP32", "FP16", "SQ8U", "SQ4U"]
GRAPH_COLOURS = {"HNSW": "tab:blue", "SSG": "tab:orange", "NSG": "tab:green", "TSDG": "tab:red"}
PEER_COLOURS = ["black", "tab:gray", "tab:purple", "tab:brown", "tab:olive", "tab:cyan"]


def engine_parts(name):
    """('HNSW', reordered, 'SQ8U', early_stop, metric) from a name like 'Tarvo HNSW+reorder SQ8U
    early-stop' or 'Tarvo SSG FP32 IP'; the metric is 'L2' when the name carries none."""
    words = name.split()
    graph, _, reorder = words[1].partition("+")
    metric = "IP" if "IP" in words[3:] else "L2"
    return graph, bool(reorder), words[2], "early-stop" in words[3:], metric


def main(json_path, png_path):
    with open(json_path) as f:
        systems = [s for s in json.load(f)["systems"] if s["sweep"]]
    engine = [s for s in systems if s["engine"]]
    peers = [s for s in systems if not s["engine"]]
    codes = [c for c in CODES if any(engine_parts(s["name"])[2] == c for s in engine)] or ["peers"]
    cosine = any(s["data"] == "fashion-mnist-unit" for s in systems)
    data = "Fashion-MNIST unit rows, inner product" if cosine else "Fashion-MNIST, squared L2"
    lowest = min(p["recall"] for s in systems for p in s["sweep"])
    columns = min(2, len(codes))
    rows = math.ceil(len(codes) / columns)
    fig, axes = plt.subplots(rows, columns, figsize=(8 * columns, 6 * rows), squeeze=False, sharey=True)
    for ax, code in zip(axes.flat, codes):
        for s in engine:
            graph, reordered, kind, early, metric = engine_parts(s["name"])
            if kind != code:
                continue
            ax.plot([p["recall"] for p in s["sweep"]], [p["qps"] for p in s["sweep"]],
                    ":" if early else "-." if cosine and metric == "L2" else "-", marker="^" if reordered else "o", markersize=3, linewidth=1.2,
                    color=GRAPH_COLOURS.get(graph, "tab:pink"), label=s["name"])
        for i, s in enumerate(peers):
            ax.plot([p["recall"] for p in s["sweep"]], [p["qps"] for p in s["sweep"]], "--", marker="s",
                    markersize=3, linewidth=1.8, color=PEER_COLOURS[i % len(PEER_COLOURS)],
                    label="%s (%s)" % (s["name"], s["note"]) if s.get("note") else s["name"])
        ax.set_yscale("log")
        ax.set_xlim(max(0.0, math.floor(lowest * 50) / 50), 1.0)
        ax.set_xlabel("recall@10")
        ax.set_ylabel("queries per second, one thread (log scale)")
        ax.set_title(data + ": " + ("engine with " + code + " codes" if engine else "peers"))
        ax.grid(True, which="both", alpha=0.3)
        ax.legend(fontsize=6, ncol=2, loc="lower left")
    for ax in list(axes.flat)[len(codes):]:
        ax.set_visible(False)
    fig.tight_layout()
    fig.savefig(png_path, dpi=110)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
