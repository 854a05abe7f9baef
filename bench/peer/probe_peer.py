#!/usr/bin/python3
"""Side-by-side run of bench_aligner and a general-purpose probe filter on the same sheets.

bench_aligner writes each sheet pair's planar input (before points, triangles and 3D shape,
after points) and its aligned positions as raw arrays; this script probes the same after points
in the same before triangles with the peer, interpolating the 3D shape as point data, and prints
the times of both sides (best of the repetitions, measured in one run), their ratio, and the
points each side failed to locate.

With --plot, also writes a scaling plot (time per after vertex against size, ours and the peer's,
and getMeshAlignResult's from bench_mesh_align when --pipeline names it) as a PNG. Sizes of 16
million vertices need COREIO_BENCH_LARGE=1 in the environment.

Needs Debian's python3-vtk9, python3-numpy and python3-matplotlib; not dependencies of the project.
    /usr/bin/python3 bench/peer/probe_peer.py --bench build/release/bench/bench_aligner \
        --pipeline build/release/bench/bench_mesh_align --sizes 1000000 4000000 --plot scaling.png
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
import vtk
from vtk.util import numpy_support


def run_aligner(bench, sizes, repetitions, data_dir):
    """Runs the benchmark for the sizes; returns (size, turned) -> best counters of the repetitions."""
    pattern = "BM_AlignSheets/vertices:(" + "|".join(str(size) for size in sizes) + ")/"
    command = [bench, "--benchmark_filter=" + pattern, "--benchmark_format=json",
               "--benchmark_repetitions=%d" % repetitions, "--benchmark_report_aggregates_only=false"]
    environment = dict(os.environ, COREIO_ALIGNER_PEER_DIR=data_dir)
    output = subprocess.run(command, env=environment, check=True, capture_output=True, text=True).stdout
    best = {}
    for run in json.loads(output)["benchmarks"]:
        if run.get("run_type") != "iteration" or "error_occurred" in run:
            continue
        case = tuple(int(part.split(":")[1]) for part in run["name"].split("/")[1:3])
        counters = {key: run[key] for key in ("index_ms", "location_ms", "mesh_ms", "lost", "cpu_time")}
        if case not in best or call_ms(counters) < call_ms(best[case]):
            best[case] = counters
    return best


def call_ms(counters):
    """The aligner's call: index, location with interpolation, aligned mesh."""
    return counters["index_ms"] + counters["location_ms"] + counters["mesh_ms"]


def run_pipeline(bench, sizes):
    """getMeshAlignResult through records: size -> processor ns per after vertex of the first call
    (fresh pages) and of the later calls (a reused heap)."""
    pattern = "BM_AlignScaling/vertices:(" + "|".join(str(size) for size in sizes) + ")/part:0"
    command = [bench, "--benchmark_filter=" + pattern, "--benchmark_format=json"]
    output = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    return {int(run["name"].split(":")[1].split("/")[0]): (run["first_ns_per_vertex"], run["ns_per_vertex"])
            for run in json.loads(output)["benchmarks"] if "ns_per_vertex" in run}


def plot(path, rows, pipeline):
    """rows: (after vertices, ours and the peer's processor ns per vertex) of the unturned sheets."""
    import matplotlib
    matplotlib.use("Agg")
    from matplotlib import pyplot

    figure, axes = pyplot.subplots(figsize=(7, 4.5))
    sizes = [row[0] for row in rows]
    axes.plot(sizes, [row[1] for row in rows], "o-", label="aligner call (index, location, aligned mesh)")
    axes.plot(sizes, [row[2] for row in rows], "s-", label="peer: vtkProbeFilter (same points and triangles)")
    if pipeline:
        sizes = sorted(pipeline)
        axes.plot(sizes, [pipeline[size][1] for size in sizes], "^-", label="getMeshAlignResult, later calls")
        axes.plot(sizes, [pipeline[size][0] for size in sizes], "v--",
                  label="getMeshAlignResult, first call (fresh pages)")
    axes.set_xscale("log")
    axes.set_ylim(bottom=0)
    axes.set_xlabel("after vertices")
    axes.set_ylabel("processor ns per after vertex")
    axes.set_title("Time per vertex against size, one run")
    axes.grid(True, which="both", alpha=0.3)
    axes.legend()
    figure.tight_layout()
    figure.savefig(path, dpi=120)


def points_of(planar):
    points = np.zeros((len(planar), 3))
    points[:, :2] = planar
    vtk_points = vtk.vtkPoints()
    vtk_points.SetData(numpy_support.numpy_to_vtk(points, deep=True))
    return vtk_points


def read_sheets(directory):
    def raw(name, dtype, width):
        return np.fromfile(os.path.join(directory, name), dtype=dtype).reshape(-1, width)

    before = vtk.vtkPolyData()
    before.SetPoints(points_of(raw("before_points.f64", np.float64, 2)))
    corners = raw("before_triangles.i32", np.int32, 3).astype(np.int64).ravel()
    offsets = np.arange(0, len(corners) + 1, 3, dtype=np.int64)
    cells = vtk.vtkCellArray()
    cells.SetData(numpy_support.numpy_to_vtkIdTypeArray(offsets, deep=True),
                  numpy_support.numpy_to_vtkIdTypeArray(corners, deep=True))
    before.SetPolys(cells)
    shape = numpy_support.numpy_to_vtk(raw("before_shape.f64", np.float64, 3), deep=True)
    shape.SetName("shape")
    before.GetPointData().AddArray(shape)

    after = vtk.vtkPolyData()
    after.SetPoints(points_of(raw("after_points.f64", np.float64, 2)))
    return before, after, raw("aligned.f64", np.float64, 3)


def probe(before, after, repetitions):
    """Best wall and processor times of a fresh probe filter (its own search structure included), its result."""
    best, best_processor, result = None, None, None
    for _ in range(repetitions):
        probe_filter = vtk.vtkProbeFilter()
        probe_filter.SetSourceData(before)
        probe_filter.SetInputData(after)
        start, start_processor = time.perf_counter(), time.process_time()
        probe_filter.Update()
        seconds, processor = time.perf_counter() - start, time.process_time() - start_processor
        if best is None or seconds < best:
            best, result = seconds, probe_filter.GetOutput()
        best_processor = processor if best_processor is None else min(best_processor, processor)
    return best, best_processor, result


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bench", required=True, help="path of the bench_aligner program")
    parser.add_argument("--sizes", type=int, nargs="+", default=[200000, 2000000])
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--pipeline", help="path of the bench_mesh_align program, for --plot")
    parser.add_argument("--plot", help="write the scaling plot to this PNG file")
    arguments = parser.parse_args()
    rows = []

    print("peer: vtkProbeFilter, VTK %s" % vtk.vtkVersion.GetVTKVersion())
    with tempfile.TemporaryDirectory(prefix="aligner-peer-") as data_dir:
        ours = run_aligner(arguments.bench, arguments.sizes, arguments.repetitions, data_dir)
        print("%9s %7s %9s %9s %9s %9s %8s %8s %9s %9s %8s %9s %9s %9s" % (
            "vertices", "turned", "index_ms", "locate_ms", "ours_ms", "peer_ms", "speedup", "speedup2",
            "ours_cpu", "peer_cpu", "cpu_up", "ours_lost", "peer_lost", "max_diff"))
        for (size, turned), mine in sorted(ours.items()):
            before, after, aligned = read_sheets(os.path.join(data_dir, "%d_%d" % (size, turned)))
            seconds, processor, output = probe(before, after, arguments.repetitions)
            data = output.GetPointData()
            valid = numpy_support.vtk_to_numpy(data.GetArray(vtk.vtkProbeFilter().GetValidPointMaskArrayName())) != 0
            probed = numpy_support.vtk_to_numpy(data.GetArray("shape"))
            difference = np.abs(probed[valid] - aligned[valid]).max() if valid.any() else float("nan")
            ours_ms = call_ms(mine)
            peer_ms = 1e3 * seconds
            peer_cpu = 1e3 * processor
            if turned == 0:
                vertices = after.GetNumberOfPoints()
                rows.append((vertices, 1e6 * mine["cpu_time"] / vertices, 1e6 * peer_cpu / vertices))
            print("%9d %7d %9.1f %9.1f %9.1f %9.1f %7.1fx %7.1fx %9.1f %9.1f %7.1fx %9d %9d %9.2g" % (
                after.GetNumberOfPoints(), turned, mine["index_ms"], mine["location_ms"], ours_ms, peer_ms,
                peer_ms / ours_ms, peer_ms / mine["location_ms"], mine["cpu_time"], peer_cpu,
                peer_cpu / mine["cpu_time"], mine["lost"], int((~valid).sum()), difference))
    if arguments.plot:
        pipeline = run_pipeline(arguments.pipeline, arguments.sizes) if arguments.pipeline else {}
        for size, (first, later) in sorted(pipeline.items()):
            print("getMeshAlignResult %9d: %.0f ns per after vertex, first call %.0f" % (size, later, first))
        plot(arguments.plot, rows, pipeline)
        print("plot: %s" % arguments.plot)
    print("ours_ms: index build + location with interpolation + aligned mesh; speedup: peer_ms / ours_ms;")
    print("ours_cpu, peer_cpu: processor ms of a call (other programs share the machine); cpu_up: their ratio;")
    print("speedup2: peer_ms / locate_ms; turned: initial coordinates turned and rounded to floats;")
    print("max_diff: largest difference of the interpolated shapes where both located the point")
    return 0


if __name__ == "__main__":
    sys.exit(main())
