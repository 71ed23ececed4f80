#!/usr/bin/env python3
"""Summarises steim_bench's JSON output: the median samples per second of
every decoder for each signal and byte order, and its ratio to libmseed 2.

    steim_bench --benchmark_repetitions=9 --benchmark_format=json > out.json
    python3 bench/decoder_ratios.py out.json
"""
import json
import statistics
import sys
from collections import defaultdict


def main() -> int:
    with open(sys.argv[1]) if len(sys.argv) > 1 else sys.stdin as source:
        data = json.load(source)
    runs = defaultdict(list)
    for bench in data["benchmarks"]:
        if bench.get("run_type") == "iteration":
            runs[bench["run_name"]].append(bench["items_per_second"])
    medians = {name: statistics.median(values) for name, values in runs.items()}
    cases = defaultdict(dict)
    for name, value in medians.items():
        _, signal, order, decoder = name.split("/", 3)
        cases[(signal, order)][decoder] = value
    print(f"{'signal':10} {'order':5} {'decoder':26} {'G samples/s':>11} {'x libmseed':>10}")
    for (signal, order), decoders in cases.items():
        peer = decoders.get("libmseed2")
        for decoder, value in decoders.items():
            ratio = f"{value / peer:10.1f}" if peer else f"{'-':>10}"
            print(f"{signal:10} {order:5} {decoder:26} {value / 1e9:11.2f} {ratio}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
