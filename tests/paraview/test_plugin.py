"""The ParaView plugin CoreIoAlign as a user runs it: loaded into pvbatch with LoadPlugin, applied to the
demo's files opened with ParaView's Exodus readers, against what coreio-align -o writes for them.

Run by run.sh PREFIX FOLDER (scripts/check.sh): PREFIX holds what cmake --install put there, FOLDER is
scratch space and keeps the screenshot.
"""
import os
import subprocess
import sys

import numpy as np
import pytest
from paraview import simple
from vtkmodules.util.numpy_support import vtk_to_numpy
from vtkmodules.vtkCommonCore import vtkOutputWindow, vtkStringOutputWindow
from vtkmodules.vtkCommonDataModel import vtkCompositeDataSet
from vtkmodules.vtkIOImage import vtkPNGReader

PREFIX, FOLDER = os.environ["COREIO_PREFIX"], os.environ["COREIO_FOLDER"]
READERS = {"Exodus II": simple.ExodusIIReader, "IOSS": simple.IOSSReader}
TOLERANCE = 1e-5  # the demo's files hold 4-byte values


@pytest.fixture(scope="session", autouse=True)
def plugin():
    import coreio_paraview

    simple.LoadPlugin(os.path.join(os.path.dirname(coreio_paraview.__file__), "plugin", "CoreIoAlign.py"))


@pytest.fixture(scope="session")
def demo():
    subprocess.run([os.path.join(PREFIX, "bin", "coreio-align"), "--demo", "-o", FOLDER], check=True,
                   capture_output=True)
    return FOLDER


def read(reader, path, **properties):
    source = READERS[reader](FileName=[path], **properties)
    source.UpdatePipeline()
    return source


def output_of(source, time=None):
    source.UpdatePipeline(time)
    return source.GetClientSideObject().GetOutputDataObject(0)


def leaves(data_object):
    if not isinstance(data_object, vtkCompositeDataSet):
        return [data_object]
    found = []
    iterator = data_object.NewIterator()
    iterator.InitTraversal()
    while not iterator.IsDoneWithTraversal():
        found.append(iterator.GetCurrentDataObject())
        iterator.GoToNextItem()
    return found


def point_table(data_object):
    """Name -> values per node, in the order of the nodes' global ids, over all blocks; "points" the
    positions, "ids" the global ids. Names lose a trailing _: the readers name vectors DISPL_ or DISPL."""
    ids, columns, blocks = [], {}, leaves(data_object)
    for leaf in blocks:
        ids.append(vtk_to_numpy(leaf.GetPointData().GetGlobalIds()))
        columns.setdefault("points", []).append(vtk_to_numpy(leaf.GetPoints().GetData()))
        columns.setdefault("ids", []).append(ids[-1])
        for index in range(leaf.GetPointData().GetNumberOfArrays()):
            array = leaf.GetPointData().GetArray(index)
            if array.GetName() != leaf.GetPointData().GetGlobalIds().GetName():
                columns.setdefault(array.GetName().rstrip("_"), []).append(vtk_to_numpy(array))
    _, first = np.unique(np.concatenate(ids), return_index=True)
    return {name: np.concatenate(parts)[first] for name, parts in columns.items() if len(parts) == len(blocks)}


def align(before, after, **choices):
    return simple.AlignThroughMaterialCoordinates(Before=before, After=after, **choices)


def assert_same_nodes_or_ties(aligned, expected, before):
    """The same matched node ids, but where an after point lies halfway along a before edge: both ends
    are heaviest corners then, as far from its aligned position as each other."""
    differ = aligned["MATCHED_NODE_ID"] != expected["MATCHED_NODE_ID"]
    distances = [np.linalg.norm(before["points"][np.searchsorted(before["ids"], table["MATCHED_NODE_ID"][differ])]
                                - aligned["points"][differ], axis=1) for table in (aligned, expected)]
    np.testing.assert_allclose(*distances, atol=TOLERANCE, err_msg="MATCHED_NODE_ID")


# case, reader, the filter's properties and the same choices on coreio-align's command line
RUNS = [
    ("sheet", "Exodus II", {}, []),
    ("tube", "Exodus II", {}, []),
    ("sheet", "IOSS", {"InitialCoordinates": "reference-xy", "MapArrays": "none"}, ["--ic", "reference-xy",
                                                                                   "--map", "none"]),
    ("tube", "IOSS", {"Complete": 1, "MapArrays": "INITIALCOORD1"}, ["--complete", "--map", "INITIALCOORD1"]),
]


@pytest.mark.parametrize("case,reader,choices,options", RUNS)
def test_the_filter_gives_every_array_coreio_align_writes(demo, case, reader, choices, options):
    files = [os.path.join(demo, case, name) for name in ("before.exo", "after.exo")]
    written = os.path.join(demo, f"{case}-{reader.replace(' ', '')}.exo")
    subprocess.run([os.path.join(PREFIX, "bin", "coreio-align"), *files, "-o", written, *options], check=True,
                   capture_output=True)
    expected = point_table(output_of(read(reader, written, ApplyDisplacements=0)))
    before = read(reader, files[0])
    aligned = point_table(output_of(align(before, read(reader, files[1]), **choices)))
    missing = set(expected) - set(aligned)
    assert not missing, f"the filter's output lacks {missing}"
    for name in set(expected) - {"MATCHED_NODE_ID"}:
        np.testing.assert_allclose(aligned[name], expected[name], atol=TOLERANCE, err_msg=name)
    assert_same_nodes_or_ties(aligned, expected, point_table(output_of(before)))


def test_warping_the_output_by_displ_gives_the_after_shape(demo):
    after = read("Exodus II", os.path.join(demo, "sheet", "after.exo"))
    aligned = align(read("Exodus II", os.path.join(demo, "sheet", "before.exo")), after)
    warped = simple.WarpByVector(Input=aligned, Vectors=["POINTS", "DISPL_"])
    shape = point_table(output_of(after))["points"]
    assert np.abs(point_table(output_of(aligned))["points"] - shape).max() > 100 * TOLERANCE  # it moved them
    np.testing.assert_allclose(point_table(output_of(warped))["points"], shape, atol=TOLERANCE)


def test_blocks_that_share_nodes_align_as_one_body(demo):
    before = read("IOSS", os.path.join(demo, "tube", "before.exo"))
    after = read("IOSS", os.path.join(demo, "tube", "after.exo"))
    halves = [simple.MergeBlocks(Input=simple.Threshold(Input=after, Scalars=["CELLS", "ids"], LowerThreshold=low,
                                                        UpperThreshold=high)) for low, high in ((1, 800), (801, 1600))]
    outputs = [output_of(align(before, simple.GroupDatasets(Input=halves))), output_of(align(before, after))]
    in_blocks, whole = map(point_table, outputs)
    assert len(in_blocks["points"]) == len(whole["points"])
    for name in ("points", "DISPL", "MATCH_STATUS", "MATCHED_NODE_ID", "BEFORE_NORMAL"):
        np.testing.assert_allclose(in_blocks[name], whole[name], atol=TOLERANCE, err_msg=name)
    vertices = [output.GetFieldData().GetArray("ALIGNMENT_DISPLACEMENT_VERTICES").GetValue(0) for output in outputs]
    assert vertices == [len(whole["points"])] * 2  # a node shared by the halves is one vertex


def test_the_output_follows_the_time_steps_of_the_after_input(demo):
    before = read("Exodus II", os.path.join(demo, "sheet", "before.exo"))
    later = simple.TemporalShiftScale(Input=read("Exodus II", os.path.join(demo, "sheet", "after.exo")), PreShift=5)
    aligned = align(before, later)
    assert list(aligned.TimestepValues) == [5.0]
    output = output_of(aligned, time=5.0)
    field = output.GetFieldData()
    assert field.GetArray("ALIGNMENT_AFTER_TIME").GetValue(0) == 5.0
    assert field.GetArray("ALIGNMENT_BEFORE_TIME").GetValue(0) == 0.0


def test_an_input_without_initial_coordinates_gives_a_message_and_an_empty_output(demo):
    before = read("Exodus II", os.path.join(demo, "sheet", "before.exo"))
    after = read("Exodus II", os.path.join(demo, "sheet", "after.exo"), PointVariables=["NORMAL_"])
    messages, previous = vtkStringOutputWindow(), vtkOutputWindow.GetInstance()
    vtkOutputWindow.SetInstance(messages)
    try:
        output = output_of(align(before, after))
    finally:
        vtkOutputWindow.SetInstance(previous)
    assert "After: no point array INITIALCOORD0 or INITIALCOORD1" in messages.GetOutput()
    assert output.GetNumberOfPoints() == 0


def test_a_screenshot_colored_by_displ_mag_shows_its_range(demo):
    aligned = align(read("Exodus II", os.path.join(demo, "tube", "before.exo")),
                    read("Exodus II", os.path.join(demo, "tube", "after.exo")))
    view = simple.CreateView("RenderView")
    simple.ColorBy(simple.Show(aligned, view), ("POINTS", "DISPL_MAG"))
    view.ResetCamera()
    path = os.path.join(FOLDER, "displ_mag.png")
    simple.SaveScreenshot(path, view, ImageResolution=[640, 480])
    simple.Delete(view)  # while its OpenGL context is valid: at exit the X server would refuse it
    png = vtkPNGReader()
    png.SetFileName(path)
    png.Update()
    pixels = vtk_to_numpy(png.GetOutput().GetPointData().GetScalars())
    assert len(pixels) == 640 * 480
    assert len(np.unique(pixels[:, :3], axis=0)) > 50


if __name__ == "__main__":
    sys.exit(pytest.main([__file__, "-q", "-p", "no:cacheprovider"]))
