"""The module coreio against coreio-align on its demo files, and its refusals of bad arrays.

Run with PYTHONPATH=<build>/tools/python and COREIO_ALIGN=<build>/tools/coreio-align (scripts/check.sh).
"""
import os
import subprocess
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


def aligned_pair(demo, case):
    before = coreio.read_body(str(demo / case / "before.exo"))
    after = coreio.read_body(str(demo / case / "after.exo"))
    return before, after, coreio.align(before, after, complete=True)


@pytest.mark.parametrize("case", CASES)
def test_alignment_gives_what_the_tool_writes(demo, case):
    before, after, result = aligned_pair(demo, case)
    written = meshio.read(demo / case / "aligned.exo")
    fields = {name: values[after.node_ids - 1] for name, values in written.point_data.items()}  # body order
    np.testing.assert_allclose(result.aligned_points, written.points[after.node_ids - 1], atol=1e-5)
    np.testing.assert_allclose(after.points - result.aligned_points, fields["DISPL_"], atol=1e-5)
    np.testing.assert_array_equal(result.status, fields["MATCH_STATUS"])
    corners = before.triangles[result.triangle]
    heaviest = corners[np.arange(len(corners)), result.weights.argmax(axis=1)]
    np.testing.assert_array_equal(before.node_ids[heaviest], fields["MATCHED_NODE_ID"])
    carried = np.column_stack([fields["BEFORE_INITIALCOORD0"], fields["BEFORE_INITIALCOORD1"]])
    np.testing.assert_allclose(result.map_nodal(before.initial_coordinates), carried, atol=1e-5)
    assert result.coverage == 1.0 and result.tube == (case == "tube")


@pytest.mark.parametrize("case", CASES)
def test_mapping_the_before_positions_gives_the_aligned_points(demo, case):
    before, _, result = aligned_pair(demo, case)
    np.testing.assert_allclose(result.map_nodal(before.points), result.aligned_points, atol=1e-6)
    np.testing.assert_allclose(result.map_nodal(before.points[:, 2]), result.aligned_points[:, 2], atol=1e-6)
    np.testing.assert_allclose(result.weights.sum(axis=1), 1.0)


def test_a_split_quad_carries_its_element_value_to_both_halves():
    grid = np.array([[x, y] for y in range(3) for x in range(4)], dtype=float)
    quads = np.array([[r * 4 + c, r * 4 + c + 1, r * 4 + c + 5, r * 4 + c + 4] for r in range(2) for c in range(3)])
    mesh = meshio.Mesh(np.column_stack([grid, np.zeros(12)]), [("quad", quads)])
    body = coreio.from_meshio(mesh, ic=grid)
    result = coreio.align(body, body)
    values = np.arange(6.0) * 10
    np.testing.assert_array_equal(result.map_element(values), values)
    np.testing.assert_array_equal(body.elements, np.repeat(np.arange(6), 2))
    assert result.to_meshio().point_data["MATCH_STATUS"].tolist() == [coreio.COINCIDENT] * 12


def test_two_threads_align_at_once_as_one_does_alone(demo):
    pairs = [(coreio.read_body(str(demo / case / "before.exo")), coreio.read_body(str(demo / case / "after.exo")))
             for case in CASES for _ in range(2)]
    alone = [coreio.align(*pair).aligned_points for pair in pairs]
    with ThreadPoolExecutor(max_workers=2) as pool:
        together = list(pool.map(lambda pair: coreio.align(*pair).aligned_points, pairs))
    for single, threaded in zip(alone, together):
        np.testing.assert_array_equal(single, threaded)


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
])
def test_bad_choices_are_refused_with_the_tools_message(demo, choice, message):
    with pytest.raises(ValueError, match=message):
        coreio.read_body(str(demo / "sheet" / "before.exo"), **choice)
