"""coreio.align from numpy arrays beside the C++ benchmark of the same sheets, in one run.

    PYTHONPATH=<build>/tools/python /usr/bin/python3 bench/python/align_benchmark.py <build>/bench/bench_pair_alignment

Both sides align a formed square sheet of about 1M nodes with one meshed on the same grid, interior
nodes moved by up to a fifth of a cell in both and the second's quads cut along the other diagonal
(bench/JitteredSheets.h; here numpy makes the same shapes), through the same pair alignment:
bench_pair_alignment's BM_AlignBodies/vertices:1000000 in a fresh process. Prints each side's
first call and the median of three, and their ratio.
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


def sheet(cells, seed, other_diagonal, depth=0.1):
    """A unit blank of cells x cells quads cut into triangles, formed to z = depth sin sin."""
    u, v = np.meshgrid(np.arange(cells + 1.0), np.arange(cells + 1.0))
    interior = (u > 0) & (u < cells) & (v > 0) & (v < cells)
    rng = np.random.default_rng(seed)
    u = (u + interior * rng.uniform(-0.2, 0.2, u.shape)) / cells
    v = (v + interior * rng.uniform(-0.2, 0.2, v.shape)) / cells
    material = np.column_stack([u.ravel(), v.ravel()])
    points = np.column_stack([material, depth * np.sin(np.pi * material[:, 0]) * np.sin(np.pi * material[:, 1])])
    a = (np.arange(cells)[:, None] * (cells + 1) + np.arange(cells)[None, :]).ravel()
    b, c, d = a + 1, a + cells + 1, a + cells + 2
    if other_diagonal:
        triangles = np.concatenate([np.column_stack([a, b, c]), np.column_stack([b, d, c])])
    else:
        triangles = np.concatenate([np.column_stack([a, b, d]), np.column_stack([a, d, c])])
    return points, triangles, material


def seconds_of(run):
    times = []
    for _ in range(REPEATS):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return times[0], statistics.median(times)


def cpp_seconds(bench_pair_alignment):
    report = subprocess.run([bench_pair_alignment, "--benchmark_filter=^BM_AlignBodies/vertices:%d/" % VERTICES,
                             "--benchmark_format=json"], check=True, capture_output=True, text=True).stdout
    run = next(run for run in json.loads(report)["benchmarks"] if run.get("run_type") == "iteration")
    return run["first_ms"] / 1000.0, run["median_ms"] / 1000.0


def main():
    cells = int(round(VERTICES ** 0.5)) - 1
    before_arrays = sheet(cells, 3, False)
    after_arrays = sheet(cells, 5, True)
    before, after = coreio.Body(*before_arrays), coreio.Body(*after_arrays)
    first, median = seconds_of(lambda: coreio.align(before, after, tube="no", complete=True))
    cpp_first, cpp_median = cpp_seconds(sys.argv[1])
    print(f"coreio.align: first {first:.3f} s, median {median:.3f} s; "
          f"C++ alignBodies: first {cpp_first:.3f} s, median {cpp_median:.3f} s")
    print(f"coreio.align / C++: first {first / cpp_first:.2f}, median {median / cpp_median:.2f}")


if __name__ == "__main__":
    main()
