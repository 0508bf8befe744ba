#!/usr/bin/env python3
"""Prints the benchmark report: for every group, the median time of each row
and its ratio to every reference row of the same group (library / reference).

Usage: ratios.py BENCH_JSON"""
import json
import sys
from collections import OrderedDict


def human(ns):
    if ns >= 1e6:
        return f"{ns / 1e6:.3f} ms"
    if ns >= 1e3:
        return f"{ns / 1e3:.2f} us"
    return f"{ns:.0f} ns"


ORDER = ["block_encrypt", "block_decrypt", "cbc_encrypt", "cbc_decrypt", "ctr",
         "text_encrypt", "text_decrypt", "cfb256_encrypt", "cfb256_decrypt", "seal", "open"]
UNITS = {"B": 1, "KiB": 1 << 10, "MiB": 1 << 20}


def group_key(group):
    """Report order: by operation, then by size."""
    kind = next((i for i, p in enumerate(ORDER) if group.startswith(p)), len(ORDER))
    size = group.rsplit("_", 1)[-1]
    for unit in ("MiB", "KiB", "B"):
        if size.endswith(unit) and size[: -len(unit)].isdigit():
            return kind, int(size[: -len(unit)]) * UNITS[unit]
    return kind, 0


def load(path):
    """The run's context, its repetitions, and every group's median per row."""
    with open(path) as f:
        report = json.load(f)
    groups = OrderedDict()
    repetitions = "?"
    for b in report["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        repetitions = b.get("repetitions", repetitions)
        group, who = b["run_name"].split("/", 1)
        scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[b["time_unit"]]
        groups.setdefault(group, OrderedDict())[who] = b["real_time"] * scale
    return report["context"], repetitions, groups


def pairs(groups):
    """(group, library row, reference row, library ns, reference ns), in report order."""
    for group in sorted(groups, key=group_key):
        rows = groups[group]
        mine = [w for w in rows if w.startswith("library")]
        refs = [w for w in rows if not w.startswith("library")]
        for m in mine:
            # A reference named "..._software" runs on the software path too
            # and stands beside the software library row; where a group has
            # no reference of the row's kind, every reference stands beside it.
            software = m.endswith("_software")
            paired = [r for r in refs if r.endswith("_software") == software] or refs
            for r in paired:
                yield group, m, r, rows[m], rows[r]


def main(path):
    ctx, repetitions, groups = load(path)
    print(f"machine: {ctx.get('host_name', '?')}, {ctx['num_cpus']} CPUs at "
          f"{ctx['mhz_per_cpu']} MHz; medians of {repetitions} interleaved repetitions")
    print()
    print("| row | library | reference | ratio |")
    print("|---|---|---|---|")
    for group, m, r, mine, ref in pairs(groups):
        print(f"| {group} ({m} / {r}) | {human(mine)} | {human(ref)} | {mine / ref:.2f}x |")


if __name__ == "__main__":
    main(sys.argv[1])
