#!/usr/bin/python3
"""Draws the scale runs from the scale.json that tarvo_ann_benchmark --scale writes: queries per
second at recall@10 >= 0.95 against the number of vectors, with one thread and with eight (the
systems' own batch search), and index bytes per vector against the number of vectors; one line per
system and dimension (solid: the engine, dashed: peers, whose build the legend names)."""
import json
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

LEVEL = 0.95
MARKERS = {"96": "o", "128": "s"}


def qps_at(system, level, threads):
    if threads == 1:
        return max((p["qps"] for p in system["sweep"] if p["recall"] >= level), default=None)
    return next((t["batch"] for t in system["threads"] if t["level"] == level), None)


def main(json_path, png_path):
    with open(json_path) as f:
        systems = json.load(f)["systems"]
    lines = {}
    for s in systems:
        dim = s["data"].split("-")[0].removeprefix("gauss")
        lines.setdefault((s["name"], dim, s["engine"], s["note"]), []).append(s)
    fig, axes = plt.subplots(1, 3, figsize=(20, 6.5))
    panels = [
        (axes[0], lambda s: qps_at(s, LEVEL, 1), "queries per second at recall@10 >= 0.95, one thread"),
        (axes[1], lambda s: qps_at(s, LEVEL, 8), "queries per second at recall@10 >= 0.95, 8 threads"),
        (axes[2], lambda s: s["index_bytes"] / s["n"], "index bytes per vector (resident growth)"),
    ]
    colours = {}
    for ax, value, title in panels:
        for (name, dim, engine, note), points in sorted(lines.items()):
            colour = colours.setdefault(name, "C%d" % len(colours))
            pairs = sorted((p["n"], value(p)) for p in points if value(p))
            if not pairs:
                continue
            label = "%s, d=%s%s" % (name, dim, "" if engine else " (" + note + ")")
            ax.plot([n for n, _ in pairs], [v for _, v in pairs], "-" if engine else "--",
                    marker=MARKERS.get(dim, "^"), color=colour, label=label)
        ax.set_xscale("log")
        ax.set_yscale("log")
        ax.set_xlabel("vectors indexed")
        ax.set_title(title)
        ax.grid(True, which="both", alpha=0.3)
    axes[0].legend(fontsize=7, loc="lower left")
    fig.suptitle("Clustered Gaussian data, squared L2: the engine through Tarvo beside hnswlib")
    fig.tight_layout()
    fig.savefig(png_path, dpi=100)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
