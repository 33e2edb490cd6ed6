#!/usr/bin/python3
"""Draws recall@10 against single-thread queries per second (log scale), one curve per system,
from the ann.json that tarvo_ann_benchmark writes."""
import json
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def main(json_path, png_path):
    with open(json_path) as f:
        results = json.load(f)
    fig, ax = plt.subplots(figsize=(11, 7))
    for system in results["systems"]:
        sweep = system["sweep"]
        if not sweep:
            continue
        style = "-" if system["engine"] else "--"
        ax.plot([p["recall"] for p in sweep], [p["qps"] for p in sweep], style, marker="o", markersize=3,
                linewidth=1.8 if not system["engine"] else 1.0, label=system["name"])
    ax.set_yscale("log")
    ax.set_xlim(0.80, 1.0)
    ax.set_xlabel("recall@10")
    ax.set_ylabel("queries per second, one thread (log scale)")
    ax.set_title("Fashion-MNIST, squared L2")
    ax.grid(True, which="both", alpha=0.3)
    ax.legend(fontsize=6, ncol=2, loc="lower left")
    fig.tight_layout()
    fig.savefig(png_path, dpi=130)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
