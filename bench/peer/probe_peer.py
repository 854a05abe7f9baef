#!/usr/bin/python3
"""The aligner's call beside vtkProbeFilter on the same sheets, both as users run them, in one run.

bench_aligner aligns the jittered sheet pair (bench/JitteredSheets.h) in a fresh process, three
calls, and writes each size's planar input (before points, triangles and 3D shape, after points)
and its aligned positions as raw arrays; a fresh Python process then probes the same after points
in the same before triangles with VTK's vtkProbeFilter, three calls, each with a new filter (its
cell locator included), interpolating the 3D shape as point data. The sides alternate, ours first.
Prints, per size, the first call of each side (wall and processor milliseconds), the medians of
the three, their ratios, and the points each side failed to locate.

With --plot, also writes a scaling plot of first calls in fresh processes (processor time per
after vertex against size: the aligner, the peer, and getMeshAlignResult from bench_mesh_align when
--pipeline names it) as a PNG. Sizes of 16 million vertices need COREIO_BENCH_LARGE=1.

Needs VTK 9.1's Python wrapping (fetch_vtk91.sh; not ParaView's VTK 9.2, whose probe is several
times slower), python3-numpy and, for --plot, python3-matplotlib:
    bench/peer/fetch_vtk91.sh /tmp/vtk91
    /usr/bin/python3 bench/peer/probe_peer.py --vtk /tmp/vtk91 --bench build/release/bench/bench_aligner \\
        --pipeline build/release/bench/bench_mesh_align --sizes 1000000 4000000 --plot scaling.png
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile

PEER = r'''
import json, os, resource, statistics, sys, time
import numpy as np
from vtkmodules.util import numpy_support
from vtkmodules.vtkCommonCore import vtkPoints, vtkVersion
from vtkmodules.vtkCommonDataModel import vtkCellArray, vtkPolyData
from vtkmodules.vtkFiltersCore import vtkProbeFilter

directory, calls = sys.argv[1], int(sys.argv[2])
def raw(name, dtype, width):
    return np.fromfile(os.path.join(directory, name), dtype=dtype).reshape(-1, width)
def points_of(planar):
    points = np.zeros((len(planar), 3))
    points[:, :2] = planar
    vtk_points = vtkPoints()
    vtk_points.SetData(numpy_support.numpy_to_vtk(points, deep=True))
    return vtk_points
before = vtkPolyData()
before.SetPoints(points_of(raw("before_points.f64", np.float64, 2)))
corners = raw("before_triangles.i32", np.int32, 3).astype(np.int64).ravel()
offsets = np.arange(0, len(corners) + 1, 3, dtype=np.int64)
cells = vtkCellArray()
cells.SetData(numpy_support.numpy_to_vtkIdTypeArray(offsets, deep=True),
              numpy_support.numpy_to_vtkIdTypeArray(corners, deep=True))
before.SetPolys(cells)
shape = numpy_support.numpy_to_vtk(raw("before_shape.f64", np.float64, 3), deep=True)
shape.SetName("shape")
before.GetPointData().AddArray(shape)
after = vtkPolyData()
after.SetPoints(points_of(raw("after_points.f64", np.float64, 2)))
runs = []
for _ in range(calls):
    probe = vtkProbeFilter()
    probe.SetSourceData(before)
    probe.SetInputData(after)
    start, usage = time.perf_counter(), resource.getrusage(resource.RUSAGE_SELF)
    probe.Update()
    end, used = time.perf_counter(), resource.getrusage(resource.RUSAGE_SELF)
    runs.append((end - start, used.ru_utime - usage.ru_utime + used.ru_stime - usage.ru_stime))
    output = probe.GetOutput().GetPointData()
valid = numpy_support.vtk_to_numpy(output.GetArray(probe.GetValidPointMaskArrayName())) != 0
probed = numpy_support.vtk_to_numpy(output.GetArray("shape"))
aligned = raw("aligned.f64", np.float64, 3)
print(json.dumps({"version": vtkVersion.GetVTKVersion(), "runs": runs, "lost": int((~valid).sum()),
                  "max_diff": float(np.abs(probed[valid] - aligned[valid]).max()) if valid.any() else None}))
'''


def run_json(command, environment=None):
    output = subprocess.run(command, env=environment, check=True, capture_output=True, text=True).stdout
    return json.loads(output)


def ours(bench, size, turned, data_dir, calls):
    """The aligner's calls in a fresh process: first and median wall and processor ms, lost points."""
    case = "BM_AlignSheets/vertices:%d/turned:%d/recorded:0" % (size, turned)
    environment = dict(os.environ, COREIO_ALIGNER_PEER_DIR=data_dir)
    report = run_json([bench, "--benchmark_filter=^%s/" % case, "--benchmark_format=json"], environment)
    run = next(run for run in report["benchmarks"] if run.get("run_type") == "iteration")
    return {"first_ms": run["first_ms"], "median_ms": run["median_ms"], "first_cpu_ms": run["first_cpu_ms"],
            "median_cpu_ms": run["median_cpu_ms"], "lost": run["lost"], "after_vertices": run["after_vertices"]}


def peer(directory, calls, environment):
    report = run_json(["/usr/bin/python3", "-c", PEER, directory, str(calls)], environment)
    walls = [1e3 * wall for wall, _ in report["runs"]]
    processors = [1e3 * processor for _, processor in report["runs"]]
    return {"first_ms": walls[0], "median_ms": statistics.median(walls), "first_cpu_ms": processors[0],
            "median_cpu_ms": statistics.median(processors), "lost": report["lost"], "max_diff": report["max_diff"],
            "version": report["version"]}


def pipeline_first_calls(bench, sizes):
    """getMeshAlignResult through records, first call in a fresh process: size -> processor ns per vertex."""
    result = {}
    for size in sizes:
        case = "BM_AlignRecords/vertices:%d/part:0/complete:0" % size
        report = run_json([bench, "--benchmark_filter=^%s/" % case, "--benchmark_format=json"])
        for run in report["benchmarks"]:
            if run.get("run_type") == "iteration" and "first_ns_per_item" in run:
                result[size] = run["first_ns_per_item"]
    return result


def plot(path, rows, pipeline):
    """rows: (after vertices, ours and the peer's first-call processor ns per vertex), unturned sheets."""
    import matplotlib
    matplotlib.use("Agg")
    from matplotlib import pyplot

    figure, axes = pyplot.subplots(figsize=(7, 4.5))
    sizes = [row[0] for row in rows]
    axes.plot(sizes, [row[1] for row in rows], "o-", label="aligner call (index, location, aligned mesh)")
    axes.plot(sizes, [row[2] for row in rows], "s-", label="peer: vtkProbeFilter (same points and triangles)")
    if pipeline:
        pipeline_sizes = sorted(pipeline)
        axes.plot(pipeline_sizes, [pipeline[size] for size in pipeline_sizes], "^-", label="getMeshAlignResult")
    axes.set_xscale("log")
    axes.set_ylim(bottom=0)
    axes.set_xlabel("after vertices")
    axes.set_ylabel("processor ns per after vertex")
    axes.set_title("First call in a fresh process, time per vertex against size")
    axes.grid(True, which="both", alpha=0.3)
    axes.legend()
    figure.tight_layout()
    figure.savefig(path, dpi=120)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bench", required=True, help="path of the bench_aligner program")
    parser.add_argument("--vtk", help="the folder fetch_vtk91.sh unpacked VTK 9.1 into")
    parser.add_argument("--sizes", type=int, nargs="+", default=[100000, 1000000])
    parser.add_argument("--turned", action="store_true", help="also the sheets with turned initial coordinates")
    parser.add_argument("--pipeline", help="path of the bench_mesh_align program, for --plot")
    parser.add_argument("--plot", help="write the scaling plot to this PNG file")
    arguments = parser.parse_args()
    environment = dict(os.environ)
    if arguments.vtk:
        environment["PYTHONPATH"] = os.path.join(arguments.vtk, "usr/lib/python3/dist-packages")
    calls = 3
    rows = []
    header = "%9s %6s %9s %9s %9s %9s %8s %8s %8s %6s %6s %9s"
    line = "%9d %6d %9.1f %9.1f %9.1f %9.1f %7.2fx %7.2fx %7.2fx %6d %6d %9.2g"
    version = None
    with tempfile.TemporaryDirectory(prefix="aligner-peer-") as data_dir:
        for size in arguments.sizes:
            for turned in ([0, 1] if arguments.turned else [0]):
                mine = ours(arguments.bench, size, turned, data_dir, calls)
                theirs = peer(os.path.join(data_dir, "%d_%d" % (size, turned)), calls, environment)
                if version is None:
                    version = theirs["version"]
                    print("peer: vtkProbeFilter, VTK %s; each side's first call in a fresh process, median of %d"
                          % (version, calls))
                    print(header % ("vertices", "turned", "ours_ms", "ours_cpu", "peer_ms", "peer_cpu", "first",
                                    "first_cpu", "median", "ours_l", "peer_l", "max_diff"))
                vertices = mine["after_vertices"]
                if turned == 0:
                    rows.append((vertices, 1e6 * mine["first_cpu_ms"] / vertices,
                                 1e6 * theirs["first_cpu_ms"] / vertices))
                print(line % (vertices, turned, mine["first_ms"], mine["first_cpu_ms"], theirs["first_ms"],
                              theirs["first_cpu_ms"], theirs["first_ms"] / mine["first_ms"],
                              theirs["first_cpu_ms"] / mine["first_cpu_ms"], theirs["median_ms"] / mine["median_ms"],
                              mine["lost"], theirs["lost"], theirs["max_diff"] or float("nan")))
    if arguments.plot:
        pipeline = pipeline_first_calls(arguments.pipeline, arguments.sizes) if arguments.pipeline else {}
        for size, first in sorted(pipeline.items()):
            print("getMeshAlignResult %9d: first call %.0f processor ns per after vertex" % (size, first))
        plot(arguments.plot, rows, pipeline)
        print("plot: %s" % arguments.plot)
    print("ours: index build + location with interpolation + aligned mesh; first: peer_ms / ours_ms of the first")
    print("calls; first_cpu: the same in processor time (other programs share the machine); median: of the")
    print("wall medians; ours_l, peer_l: points not located; max_diff: largest difference of the interpolated")
    print("shapes where both located the point")
    return 0


if __name__ == "__main__":
    sys.exit(main())
