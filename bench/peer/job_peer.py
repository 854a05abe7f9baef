#!/usr/bin/python3
"""The whole job of coreio-align -o beside the same job as a VTK pipeline in Python, in one run.

Both sides read a pair of Exodus II files, relate the after body to the before body through their
initial (material) coordinates, and write the after body at the aligned shape with the
displacement, the initial coordinates, whether each node was located, and every nodal and element
variable of the before file carried over (nodal ones interpolated at the after nodes, element ones
taken at the after elements' centroids). The pipeline: vtkExodusIIReader for both files, each
body's material plane (its points moved to (INITIALCOORD0, INITIALCOORD1, 0), the before shape as
point data), vtkProbeFilter at the after nodes and at the after element centres (vtkCellCenters),
numpy for the displacement, vtkExodusIIWriter. Each run is a fresh process; the runs alternate,
ours first, --repetitions times. Prints each side's processor seconds (user + system) and peak
resident memory, the medians, and their ratios. Give --tool more than once to set several builds
of coreio-align beside the pipeline in the same run.

Needs VTK 9.1's Python wrapping (see fetch_vtk91.sh; not ParaView's VTK, whose probe is several
times slower), python3-numpy and python3-netcdf4 for make_quad_pair.py:
    /usr/bin/python3 bench/peer/make_quad_pair.py --nodes 1000000 /tmp/pair
    /usr/bin/python3 bench/peer/job_peer.py --tool build/release/tools/coreio-align/coreio-align \\
        --vtk /tmp/vtk91 /tmp/pair/before.exo /tmp/pair/after.exo
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile


def run_measured(command, environment=None):
    """Runs a command as a child; its processor seconds (user, system) and peak resident bytes."""
    child = subprocess.Popen(command, env=environment, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    output = child.stdout.read()
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode not in (0, 3):
        sys.exit("failed (%d): %s\n%s" % (child.returncode, " ".join(command), output.decode(errors="replace")))
    return usage.ru_utime, usage.ru_stime, usage.ru_maxrss * 1024


def pipeline(before_path, after_path, out_path):
    """The job as a VTK pipeline."""
    import numpy as np
    from vtkmodules.util import numpy_support
    from vtkmodules.vtkCommonCore import vtkPoints
    from vtkmodules.vtkFiltersCore import vtkCellCenters, vtkProbeFilter
    from vtkmodules.vtkIOExodus import vtkExodusIIReader, vtkExodusIIWriter

    def read(path):
        reader = vtkExodusIIReader()
        reader.SetFileName(path)
        reader.UpdateInformation()
        reader.SetAllArrayStatus(vtkExodusIIReader.NODAL, 1)
        reader.SetAllArrayStatus(vtkExodusIIReader.ELEM_BLOCK, 1)
        reader.SetTimeStep(reader.GetNumberOfTimeSteps() - 1)
        reader.Update()  # the points come displaced by DISPL: the shape at the step
        return reader.GetOutput().GetBlock(0).GetBlock(0)

    def array(data, name):
        return numpy_support.vtk_to_numpy(data.GetArray(name))

    def material_plane(body):
        data = body.GetPointData()
        plane = body.NewInstance()
        plane.ShallowCopy(body)
        points = np.column_stack([array(data, "INITIALCOORD0"), array(data, "INITIALCOORD1"),
                                  np.zeros(body.GetNumberOfPoints())])
        vtk_points = vtkPoints()
        vtk_points.SetData(numpy_support.numpy_to_vtk(points, deep=True))
        plane.SetPoints(vtk_points)
        return plane

    before, after = read(before_path), read(after_path)
    before_plane = material_plane(before)
    shape = before.GetPoints().GetData().NewInstance()
    shape.DeepCopy(before.GetPoints().GetData())
    shape.SetName("SHAPE")
    before_plane.GetPointData().AddArray(shape)
    after_plane = material_plane(after)

    at_nodes = vtkProbeFilter()
    at_nodes.SetSourceData(before_plane)
    at_nodes.SetInputData(after_plane)
    at_nodes.Update()
    probed = at_nodes.GetOutput().GetPointData()
    centres = vtkCellCenters()
    centres.SetInputData(after_plane)
    at_centres = vtkProbeFilter()
    at_centres.SetSourceData(before_plane)
    at_centres.SetInputConnection(centres.GetOutputPort())
    at_centres.Update()

    located = array(probed, at_nodes.GetValidPointMaskArrayName()) != 0
    own = numpy_support.vtk_to_numpy(after.GetPoints().GetData())
    aligned = np.where(located[:, None], array(probed, "SHAPE"), own)
    displacement = np.where(located[:, None], own - aligned, np.nan)

    out = after.NewInstance()
    out.ShallowCopy(after)
    points = vtkPoints()
    points.SetData(numpy_support.numpy_to_vtk(aligned, deep=True))
    out.SetPoints(points)
    out_data = out.GetPointData()
    # Not DISPL_: the writer takes arrays named DIS... for the displacement of the points and drops them.
    for name, values in [("SHIFT_", displacement), ("SHIFT_MAG", np.linalg.norm(displacement, axis=1)),
                         ("MATCH", located.astype(np.float32))]:
        vtk_values = numpy_support.numpy_to_vtk(np.ascontiguousarray(values, dtype=np.float32), deep=True)
        vtk_values.SetName(name)
        out_data.AddArray(vtk_values)
    before_data = before.GetPointData()
    for k in range(before_data.GetNumberOfArrays()):
        name = before_data.GetArrayName(k)
        if name and probed.GetArray(name) is not None and not name.startswith("Ped"):
            mapped = probed.GetArray(name)
            mapped.SetName("BEFORE_" + name)
            out_data.AddArray(mapped)
    centre_data = at_centres.GetOutput().GetPointData()
    before_cells = before.GetCellData()
    for k in range(before_cells.GetNumberOfArrays()):
        name = before_cells.GetArrayName(k)
        if name and not name.startswith(("Object", "Global", "Ped")) and centre_data.GetArray(name) is not None:
            mapped = centre_data.GetArray(name)
            mapped.SetName("BEFORE_" + name)
            out.GetCellData().AddArray(mapped)

    writer = vtkExodusIIWriter()
    writer.SetFileName(out_path)
    writer.SetInputData(out)
    writer.WriteAllTimeStepsOff()
    writer.SetStoreDoubles(0)  # single precision, as the inputs and coreio-align's output
    writer.Write()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--tool", action="append", required=True, help="a coreio-align program (repeatable)")
    parser.add_argument("--vtk", help="the folder fetch_vtk91.sh unpacked VTK 9.1 into")
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--pipeline-only", metavar="OUT", help=argparse.SUPPRESS)
    arguments = parser.parse_args()
    if arguments.pipeline_only:
        pipeline(arguments.before, arguments.after, arguments.pipeline_only)
        return 0

    environment = dict(os.environ)
    if arguments.vtk:
        environment["PYTHONPATH"] = os.path.join(arguments.vtk, "usr/lib/python3/dist-packages")
    version = subprocess.run(["/usr/bin/python3", "-c", "from vtkmodules.vtkCommonCore import vtkVersion;"
                              "print(vtkVersion.GetVTKVersion())"], env=environment, check=True,
                             capture_output=True, text=True).stdout.strip()
    print("peer: a VTK %s pipeline in Python (vtkExodusIIReader, vtkProbeFilter, vtkExodusIIWriter)" % version)
    tools = {("coreio-align" if len(arguments.tool) == 1 else "coreio-align %d" % (k + 1)): tool
             for k, tool in enumerate(arguments.tool)}
    for label, tool in tools.items():
        print("%s: %s" % (label, tool))
    rows = {label: [] for label in list(tools) + ["VTK pipeline"]}
    with tempfile.TemporaryDirectory(prefix="job-peer-") as scratch:
        peer = ["/usr/bin/python3", os.path.abspath(__file__), arguments.before, arguments.after, "--tool",
                arguments.tool[0], "--pipeline-only", os.path.join(scratch, "peer.exo")]
        for _ in range(arguments.repetitions):
            for label, tool in tools.items():
                rows[label].append(run_measured([tool, arguments.before, arguments.after, "-o",
                                                 os.path.join(scratch, "ours.exo")]))
            rows["VTK pipeline"].append(run_measured(peer, environment))
    print("%-14s %9s %9s %9s %9s" % ("", "user_s", "system_s", "cpu_s", "peak_MB"))
    medians = {}
    for side, runs in rows.items():
        for user, system, peak in runs:
            print("%-14s %9.2f %9.2f %9.2f %9.0f" % (side, user, system, user + system, peak / 2**20))
        medians[side] = (statistics.median(u + s for u, s, _ in runs), statistics.median(p for _, _, p in runs))
        print("%-14s %9s %9s %9.2f %9.0f  (median)" % (side, "", "", medians[side][0], medians[side][1] / 2**20))
    peer_cpu, peer_peak = medians["VTK pipeline"]
    for label in tools:
        ours_cpu, ours_peak = medians[label]
        print("%s: processor time, pipeline / ours: %.2fx; peak memory, ours / pipeline: %.2fx"
              % (label, peer_cpu / ours_cpu, ours_peak / peer_peak))
    return 0


if __name__ == "__main__":
    sys.exit(main())
