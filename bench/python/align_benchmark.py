"""coreio.align from numpy arrays against the C++ benchmark of the same sheets, in one run.

    PYTHONPATH=<build>/tools/python /usr/bin/python3 bench/python/align_benchmark.py <build>/bench/bench_pair_alignment

Both sides align a square formed sheet of about 1M nodes with a sheet of about as many, meshed on
a grid of other spacing with interior nodes moved by up to 0.15 of a cell, through the same pair
alignment (bench_pair_alignment's BM_AlignPair/1000000, whose pair the tool's sample generator
makes; here numpy makes the same shapes). Prints the median seconds of each and their ratio.
"""
import json
import statistics
import subprocess
import sys
import time

import numpy as np

import coreio

VERTICES = 1_000_000
REPEATS = 3


def sheet(cells_u, cells_v, jitter, seed, depth=0.1):
    """A unit blank of cells_u x cells_v quads cut into triangles, formed to z = depth sin sin."""
    u, v = np.meshgrid(np.linspace(0, 1, cells_u + 1), np.linspace(0, 1, cells_v + 1))
    interior = (u > 0) & (u < 1) & (v > 0) & (v < 1)
    rng = np.random.default_rng(seed)
    u = u + interior * rng.uniform(-jitter, jitter, u.shape) / cells_u
    v = v + interior * rng.uniform(-jitter, jitter, v.shape) / cells_v
    material = np.column_stack([u.ravel(), v.ravel()])
    points = np.column_stack([material, depth * np.sin(np.pi * material[:, 0]) * np.sin(np.pi * material[:, 1])])
    corner = (np.arange(cells_v)[:, None] * (cells_u + 1) + np.arange(cells_u)[None, :]).ravel()
    quads = np.column_stack([corner, corner + 1, corner + cells_u + 2, corner + cells_u + 1])
    triangles = np.concatenate([quads[:, [0, 1, 2]], quads[:, [0, 2, 3]]])
    return points, triangles, material


def median_seconds(run):
    times = []
    for _ in range(REPEATS):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def cpp_seconds(bench_pair_alignment):
    report = subprocess.run([bench_pair_alignment, f"--benchmark_filter=BM_AlignPair/{VERTICES}/",
                             "--benchmark_format=json"], check=True, capture_output=True, text=True).stdout
    runs = json.loads(report)["benchmarks"]
    median = next((run for run in runs if run.get("aggregate_name") == "median"), runs[0])
    return median["real_time"] / 1000.0  # milliseconds


def main():
    cells = int(round(VERTICES ** 0.5)) - 1
    before_arrays = sheet(cells, cells, 0.0, 1)
    after_arrays = sheet(cells * 5 // 4, cells * 4 // 5, 0.15, 5)
    made = {}
    body_seconds = median_seconds(lambda: made.update(before=coreio.Body(*before_arrays),
                                                      after=coreio.Body(*after_arrays)))
    align_seconds = median_seconds(lambda: coreio.align(made["before"], made["after"], tube="no", complete=True))
    cpp = cpp_seconds(sys.argv[1])
    print(f"bodies from numpy {body_seconds:.3f} s, coreio.align {align_seconds:.3f} s, "
          f"C++ alignPair {cpp:.3f} s")
    print(f"coreio.align / C++: {align_seconds / cpp:.2f}; with the bodies: {(body_seconds + align_seconds) / cpp:.2f}")


if __name__ == "__main__":
    main()
