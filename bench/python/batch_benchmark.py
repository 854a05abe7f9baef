"""python3 -m coreio.batch on a local cluster of two workers against coreio-align run on each pair one
after the other, in one run.

    PYTHONPATH=<build>/tools/python /usr/bin/python3 bench/python/batch_benchmark.py \\
        <build>/tools/coreio-align/coreio-align [--smoke]

40 pairs of sheets of about 100k vertices each (--smoke: 4 pairs of about 2k), every pair meshed
its own way: a formed blank on a grid against its springback state on a grid of other spacing with
jittered nodes, written as Exodus II files. Both sides write the
aligned file and the picture of every pair and are timed as users run them: fresh processes, the
batch with the start of its cluster. A third side, coreio-align two pairs at a time without dask,
shows what the machine itself gives two processes. The sides alternate for a few rounds, as the
machine is shared with other users whose load comes and goes; prints each round's wall and CPU
times (those of the processes run and their children), the ratios of wall times and the load.

The local cluster of coreio.batch checks and samples at a pace for tasks of seconds: dask's
defaults (a statistical profiler sampling each worker every 10 ms, event-loop checks every 20 ms,
memory checks every 100 ms, system monitors every 500 ms) kept an idle cluster of two workers
busy for 13 % of a core (2.7 s of CPU in 20 s); with the profiler off and the others at 0.5-2 s,
0.4 s in 20 s. It also holds no pair on a worker beyond its threads (worker saturation 1.0).
"""
import argparse
import csv
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

import netCDF4
import numpy as np


FULL = {"pairs": 40, "vertices": 100_000, "rounds": 3}
SMOKE = {"pairs": 4, "vertices": 2_000, "rounds": 1}
WORKERS = 2


def sheet(columns, rows, jitter, seed, depth=0.1):
    """A unit blank of columns x rows quads cut into triangles, interior nodes moved by up to jitter
    of a cell, formed to z = depth sin sin; returns points, triangles and initial coordinates."""
    u, v = np.meshgrid(np.arange(columns + 1.0), np.arange(rows + 1.0))
    interior = (u > 0) & (u < columns) & (v > 0) & (v < rows)
    rng = np.random.default_rng(seed)
    u = (u + interior * rng.uniform(-jitter, jitter, u.shape)) / columns
    v = (v + interior * rng.uniform(-jitter, jitter, v.shape)) / rows
    material = np.column_stack([u.ravel(), v.ravel()])
    points = np.column_stack([material, depth * np.sin(np.pi * material[:, 0]) * np.sin(np.pi * material[:, 1])])
    a = (np.arange(rows)[:, None] * (columns + 1) + np.arange(columns)[None, :]).ravel()
    b, c, d = a + 1, a + columns + 1, a + columns + 2
    triangles = np.concatenate([np.column_stack([a, b, d]), np.column_stack([a, d, c])])
    return points, triangles, material


def write_exodus(path, points, triangles, material):
    """One TRI3 block "sheet" with INITIALCOORD0/1 at one step, in double precision."""
    with netCDF4.Dataset(path, "w", format="NETCDF3_64BIT_OFFSET") as file:
        file.setncatts({"api_version": np.float32(6.02), "version": np.float32(6.02), "floating_point_word_size": 8,
                        "file_size": 1, "maximum_name_length": 32, "int64_status": 0, "title": ""})
        for name, size in (("len_string", 33), ("len_line", 81), ("four", 4), ("len_name", 33), ("time_step", None),
                           ("num_dim", 3), ("num_nodes", len(points)), ("num_elem", len(triangles)), ("num_el_blk", 1),
                           ("num_el_in_blk1", len(triangles)), ("num_nod_per_el1", 3), ("num_nod_var", 2)):
            file.createDimension(name, size)
        file.createVariable("time_whole", "f8", ("time_step",))[0] = 0.0
        file.createVariable("eb_status", "i4", ("num_el_blk",))[:] = [1]
        ids = file.createVariable("eb_prop1", "i4", ("num_el_blk",))
        ids.setncattr("name", "ID")
        ids[:] = [1]
        for axis, name in enumerate(("coordx", "coordy", "coordz")):
            file.createVariable(name, "f8", ("num_nodes",))[:] = points[:, axis]
        put_names(file, "eb_names", ("num_el_blk", "len_name"), ["sheet"])
        put_names(file, "coor_names", ("num_dim", "len_name"), ["X", "Y", "Z"])
        connect = file.createVariable("connect1", "i4", ("num_el_in_blk1", "num_nod_per_el1"))
        connect.setncattr("elem_type", "TRI3")
        connect[:] = triangles + 1
        for k in range(2):
            file.createVariable(f"vals_nod_var{k + 1}", "f8", ("time_step", "num_nodes"))[0, :] = material[:, k]
        put_names(file, "name_nod_var", ("num_nod_var", "len_name"), ["INITIALCOORD0", "INITIALCOORD1"])


def put_names(file, variable, dimensions, names):
    values = file.createVariable(variable, "S1", dimensions)
    values[:] = netCDF4.stringtochar(np.array(names, dtype="S33"))


def write_pairs(folder, pairs, vertices):
    """Pair k: a blank of about `vertices` nodes, its cells' proportions varied with k, against a springback
    state meshed 5/4 x 4/5 as finely with jittered interior nodes."""
    cells = int(round(vertices ** 0.5)) - 1
    rows = []
    for k in range(pairs):
        wide = cells + k % 7 - 3
        tall = max(2, (cells + 1) ** 2 // (wide + 1) - 1)
        before = sheet(wide, tall, 0.0, 2 * k + 1)
        after = sheet(wide * 5 // 4, tall * 4 // 5, 0.15, 2 * k + 2, depth=0.085)
        names = (f"part{k:02}-formed.exo", f"part{k:02}-springback.exo")
        for name, body in zip(names, (before, after)):
            write_exodus(os.path.join(folder, name), *body)
        rows.append({"before": names[0], "after": names[1]})
    with open(os.path.join(folder, "pairs.csv"), "w", newline="") as table:
        writer = csv.DictWriter(table, fieldnames=["before", "after"])
        writer.writeheader()
        writer.writerows(rows)
    return rows


def timed(run):
    """Wall and CPU seconds of run(), the CPU of the processes it runs and their children included."""
    def cpu():
        usage = resource.getrusage(resource.RUSAGE_CHILDREN)
        return usage.ru_utime + usage.ru_stime

    wall, used = time.perf_counter(), cpu()
    run()
    return time.perf_counter() - wall, cpu() - used


def coreio_align_each(coreio_align, folder, rows, out, at_once):
    """coreio-align on every pair, at_once of them at a time."""
    os.makedirs(out)

    def align(row):
        stem = os.path.join(out, f"{row['before'][:-4]}__{row['after'][:-4]}")
        subprocess.run([coreio_align, os.path.join(folder, row["before"]), os.path.join(folder, row["after"]),
                        "-o", stem + ".exo", "--png", stem + ".png"], check=True, capture_output=True)

    with ThreadPoolExecutor(at_once) as pool:
        list(pool.map(align, rows))


def batch(folder, rows, out):
    ran = subprocess.run([sys.executable, "-m", "coreio.batch", os.path.join(folder, "pairs.csv"), "--out", out,
                          "--workers", str(WORKERS), "--no-progress"], capture_output=True, text=True)
    if ran.returncode != 0:
        sys.exit(f"the batch failed (exit code {ran.returncode}):\n{ran.stderr}")
    with open(os.path.join(out, "summary.csv"), newline="") as summary:
        done = [row for row in csv.DictReader(summary) if row["exit_code"] == "0"]
    if len(done) != len(rows):
        sys.exit(f"the batch aligned {len(done)} of {len(rows)} pairs")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("coreio_align", help="the coreio-align program")
    parser.add_argument("--smoke", action="store_true", help="4 pairs of about 2k vertices, once, to see that it runs")
    options = parser.parse_args()
    size = SMOKE if options.smoke else FULL
    print(f"{size['pairs']} pairs of about {size['vertices']} x {size['vertices']} vertices, on {os.cpu_count()} cores")
    ratios = []
    with tempfile.TemporaryDirectory(prefix="batch-benchmark-") as folder:
        rows = write_pairs(folder, size["pairs"], size["vertices"])
        for number in range(1, size["rounds"] + 1):
            load = os.getloadavg()[0]
            out = os.path.join(folder, f"round{number}")
            one = timed(lambda: coreio_align_each(options.coreio_align, folder, rows, out + "-one", 1))
            batched = timed(lambda: batch(folder, rows, out + "-batch"))
            two = timed(lambda: coreio_align_each(options.coreio_align, folder, rows, out + "-two", WORKERS))
            ratios.append((one[0] / batched[0], one[0] / two[0]))
            print(f"round {number}: coreio-align one after the other {one[0]:.1f} s (CPU {one[1]:.1f} s); "
                  f"coreio.batch on {WORKERS} workers, cluster start included, {batched[0]:.1f} s (CPU "
                  f"{batched[1]:.1f} s): {ratios[-1][0]:.2f}x; coreio-align {WORKERS} at a time {two[0]:.1f} s "
                  f"(CPU {two[1]:.1f} s): {ratios[-1][1]:.2f}x; load average {load:.1f} before, "
                  f"{os.getloadavg()[0]:.1f} after")
    print(f"median of {len(ratios)} rounds: coreio.batch {statistics.median(r[0] for r in ratios):.2f}x, "
          f"coreio-align {WORKERS} at a time {statistics.median(r[1] for r in ratios):.2f}x the wall time of "
          f"coreio-align one after the other")


if __name__ == "__main__":
    main()
