"""The module coreio against coreio-align on its demo files, meshio's meshes both ways, threads, and
its refusals of bad input.

Run with PYTHONPATH=<build>/tools/python and COREIO_ALIGN=<build>/tools/coreio-align/coreio-align
(scripts/check.sh).
"""
import os
import pathlib
import re
import subprocess
import warnings
from concurrent.futures import ThreadPoolExecutor

import meshio
import numpy as np
import pytest

import coreio

CASES = ("sheet", "tube")


@pytest.fixture(scope="module")
def demo(tmp_path_factory):
    """The demo's before and after files of each case, and the tool's aligned file of each."""
    folder = tmp_path_factory.mktemp("demo")
    subprocess.run([os.environ["COREIO_ALIGN"], "--demo", "-o", str(folder)], check=True, capture_output=True)
    return folder


def aligned_pair(demo, case, complete=True):
    before = coreio.read_body(demo / case / "before.exo")
    after = coreio.read_body(demo / case / "after.exo")
    return before, after, coreio.align(before, after, complete=complete)


def scalars(point_data):
    """meshio's point data with its triples (DISPL_ for DISPL_X, DISPL_Y, DISPL_Z) split again."""
    split = {}
    for name, values in point_data.items():
        if values.ndim == 2:
            split.update({name + axis: values[:, k] for k, axis in enumerate("XYZ")})
        else:
            split[name] = values
    return split


def grid(columns, rows):
    """Points of a columns x rows grid in z = 0, and its quads."""
    points = np.array([[x, y, 0.0] for y in range(rows + 1) for x in range(columns + 1)])
    quads = np.array([[r * (columns + 1) + c, r * (columns + 1) + c + 1, (r + 1) * (columns + 1) + c + 1,
                       (r + 1) * (columns + 1) + c] for r in range(rows) for c in range(columns)])
    return points, quads


@pytest.mark.parametrize("case", CASES)
def test_output_fields_are_what_the_tool_writes(demo, case):
    _, after, result = aligned_pair(demo, case, complete=False)
    written = meshio.read(demo / case / "aligned.exo")
    in_body_order = after.node_ids - 1
    fields = result.output_fields()
    assert set(fields.point_data) == set(scalars(written.point_data))
    for name, values in scalars(written.point_data).items():
        np.testing.assert_allclose(fields.point_data[name], values[in_body_order], atol=1e-6, err_msg=name)
    np.testing.assert_allclose(fields.aligned_points, written.points[in_body_order], atol=1e-6)
    assert fields.summary["coverage"] == result.coverage == 1.0
    assert fields.summary["tube"] == result.tube == (case == "tube")


@pytest.mark.parametrize("case", CASES)
def test_mapping_the_before_positions_gives_the_aligned_points(demo, case):
    before, _, result = aligned_pair(demo, case)
    np.testing.assert_allclose(result.map_nodal(before.points), result.aligned_points, atol=1e-9)
    np.testing.assert_allclose(result.weights.sum(axis=1), 1.0)


def test_a_mesh_of_quads_comes_back_as_quads_with_every_field(tmp_path):
    points, quads = grid(4, 3)
    mesh = meshio.Mesh(points, [("quad", quads)], point_data={"T": points[:, 0] * 2},
                       cell_data={"ID": [np.arange(len(quads), dtype=float)]})
    body = coreio.from_meshio(mesh, ic=points[:, :2])
    result = coreio.align(body, body)
    back = result.to_meshio()
    assert [block.type for block in back.cells] == ["quad"]
    np.testing.assert_array_equal(back.cells[0].data, quads)
    np.testing.assert_array_equal(back.point_data["BEFORE_T"], points[:, 0] * 2)
    np.testing.assert_array_equal(back.cell_data["BEFORE_ID"][0], np.arange(len(quads)))
    np.testing.assert_array_equal(result.map_element(np.arange(len(quads), dtype=float)), np.arange(len(quads)))
    np.testing.assert_array_equal(back.point_data["MATCHED_NODE_ID"], np.arange(1, len(points) + 1))
    assert (back.point_data["MATCHED_NODE_ID"].dtype, back.point_data["MATCH_STATUS"].dtype) == (np.int64, np.int32)
    back.write(tmp_path / "aligned.vtu")
    assert meshio.read(tmp_path / "aligned.vtu").cells[0].data.shape == quads.shape


@pytest.mark.parametrize("cell_type, cells", [
    ("triangle6", [[0, 2, 10, 1, 6, 5], [2, 12, 10, 7, 11, 6]]),
    ("quad9", [[0, 2, 12, 10, 1, 7, 11, 5, 6]]),
])
def test_higher_order_cells_are_read_as_a_file_reader_reads_them(cell_type, cells):
    points, _ = grid(4, 2)
    body = coreio.from_meshio(meshio.Mesh(points, [(cell_type, np.array(cells))]), ic=points[:, :2])
    assert body.cells[0][0] == cell_type and body.num_elements == len(cells)
    assert coreio.align(body, body).counts["coincident"] == len(np.unique(cells))


def test_a_file_body_is_read_from_a_path_or_a_block_id_with_its_variables(demo):
    path = pathlib.Path(demo / "sheet" / "before.exo")
    by_id = coreio.read_body(path, body=1)
    by_name = coreio.read_body(str(path), body="sheet")
    np.testing.assert_array_equal(by_id.points, by_name.points)
    assert {"INITIALCOORD0", "INITIALCOORD1"} <= set(by_id.nodal_fields)
    np.testing.assert_array_equal(by_id.nodal_fields["INITIALCOORD0"], by_id.initial_coordinates[:, 0])
    assert coreio.read_body(path, fields="none").nodal_fields == {}


def test_results_are_read_only(demo):
    _, _, result = aligned_pair(demo, "sheet")
    for name in ("matching", "status", "triangle", "weights"):
        with pytest.raises(ValueError):
            getattr(result, name)[0] = 0


def test_reader_warnings_become_python_warnings(tmp_path):
    points, quads = grid(2, 1)
    solid = np.array([[0, 1, 4, 3, 0, 1, 4, 3]])
    mesh = meshio.Mesh(points, [("quad", quads), ("hexahedron", solid)],
                       point_data={"INITIALCOORD0": points[:, 0], "INITIALCOORD1": points[:, 1]})
    mesh.write(tmp_path / "mixed.exo")
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        coreio.read_body(tmp_path / "mixed.exo")
    texts = [str(w.message) for w in caught if issubclass(w.category, coreio.CoreIoWarning)]
    assert len(texts) == 1 and re.fullmatch(f'Exodus file "{tmp_path}/mixed.exo": skipping element block .*'
                                            "HEX8 elements make no surface", texts[0]), texts


def test_threads_read_and_align_at_once_as_one_does_alone(demo):
    files = [demo / case / state for case in CASES for state in ("before.exo", "after.exo")] * 8
    alone = [coreio.read_body(path).initial_coordinates for path in files]
    with ThreadPoolExecutor(max_workers=4) as pool:
        together = list(pool.map(lambda path: coreio.read_body(path).initial_coordinates, files))
    for single, threaded in zip(alone, together):
        np.testing.assert_array_equal(single, threaded)
    pairs = [aligned_pair(demo, case)[:2] for case in CASES for _ in range(2)]
    with ThreadPoolExecutor(max_workers=2) as pool:
        threaded = list(pool.map(lambda pair: coreio.align(*pair).aligned_points, pairs))
    for pair, points in zip(pairs, threaded):
        np.testing.assert_array_equal(coreio.align(*pair).aligned_points, points)


def test_align_files_does_the_tools_whole_job(demo, tmp_path):
    case = demo / "sheet"
    done = coreio.align_files(case / "before.exo", case / "after.exo", output=tmp_path / "out.exo",
                              png=tmp_path / "out.png")
    assert done["exit_code"] == 0 and done["message"] == ""
    assert done["summary"]["written"] == [str(tmp_path / "out.exo"), str(tmp_path / "out.png")]
    ours, tools = meshio.read(tmp_path / "out.exo"), meshio.read(case / "aligned.exo")
    for name, values in tools.point_data.items():
        np.testing.assert_array_equal(ours.point_data[name], values, err_msg=name)
    missing = coreio.align_files(case / "nowhere.exo", case / "after.exo")
    assert missing["exit_code"] == 1 and "nowhere.exo" in missing["message"] and missing["summary"] is None
    onto_input = coreio.align_files(case / "before.exo", case / "after.exo", output=case / "after.exo")
    assert onto_input["exit_code"] == 2


def square(**changes):
    arrays = dict(points=np.array([[0.0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]]),
                  triangles=np.array([[0, 1, 2], [0, 2, 3]]),
                  initial_coordinates=np.array([[0.0, 0], [1, 0], [1, 1], [0, 1]]))
    arrays.update(changes)
    return arrays


@pytest.mark.parametrize("arrays, message", [
    (square(points=np.array([[0.0, 0, 0], [1, 0, 0], [1, np.nan, 0], [0, 1, 0]])), "points row 2 .* not finite"),
    (square(triangles=np.array([[0, 1, 2], [0, 2, 4]])), "triangles row 1 names vertex 4, outside 0 .. 3"),
    (square(triangles=np.array([[0.0, 1, 2]])), "triangles must be an array of integers"),
    (square(initial_coordinates=np.zeros((4, 3))), r"initial_coordinates must be an n x 2 array; got shape \(4, 3\)"),
    (square(initial_coordinates=np.zeros((3, 2))), "initial_coordinates has 3 rows but points has 4"),
    (square(initial_coordinates=np.array([[0.0, 0], [1, 0], [1, 1], [0, np.inf]])), "initial_coordinates row 3"),
    (square(normals=np.zeros((2, 3))), "normals has 2 rows but points has 4"),
])
def test_bad_arrays_are_refused_naming_the_array_and_row(arrays, message):
    with pytest.raises(ValueError, match=message):
        coreio.Body(**arrays)


@pytest.mark.parametrize("choice, message", [
    (dict(step=9), "has no time step 9"),
    (dict(body="nowhere"), "nowhere"),
    (dict(ic=("A0", "A1")), "lacks the nodal variables A0 and A1"),
    (dict(step="first"), "step: "),
    (dict(fields=["THICKNESS"]), "has no variable THICKNESS"),
])
def test_bad_choices_are_refused_with_the_tools_message(demo, choice, message):
    with pytest.raises(ValueError, match=message):
        coreio.read_body(demo / "sheet" / "before.exo", **choice)
