"""Simulation bodies before and after a process step, related through their initial (material)
coordinates: read from Exodus II files or made from numpy arrays, aligned, and fields carried over.

    before = coreio.read_body("formed.exo")
    after = coreio.read_body("springback.exo")
    result = coreio.align(before, after)
    result.map_nodal(thickness)        # n_before values -> n_after values

meshio meshes convert with from_meshio() and AlignmentResult.to_meshio().
"""
import numpy as np

from ._coreio import (COINCIDENT, INSIDE, NEAR, OUTSIDE, AlignmentResult, BlockListing, Body, InputError,
                      Listing, align, list_file, read_body)

__all__ = ["Body", "AlignmentResult", "Listing", "BlockListing", "InputError", "align", "read_body", "list_file",
           "from_meshio", "COINCIDENT", "INSIDE", "NEAR", "OUTSIDE"]


def _split_quads(points, quads):
    """Two triangles per quad, cut along its shorter diagonal, as the file loader cuts them."""
    first_diagonal = np.einsum("ij,ij->i", *(2 * [points[quads[:, 0]] - points[quads[:, 2]]]))
    second_diagonal = np.einsum("ij,ij->i", *(2 * [points[quads[:, 1]] - points[quads[:, 3]]]))
    cut = (first_diagonal <= second_diagonal)[:, None]
    first = np.where(cut, quads[:, [0, 1, 2]], quads[:, [0, 1, 3]])
    second = np.where(cut, quads[:, [0, 2, 3]], quads[:, [1, 2, 3]])
    return np.stack([first, second], axis=1).reshape(-1, 3)


def from_meshio(mesh, ic=("INITIALCOORD0", "INITIALCOORD1")):
    """A Body of a meshio mesh's triangle and quad cells, in the order of its cell blocks.

    ic: the names of two entries of mesh.point_data, or an n x 2 array. Quads are cut along their
    shorter diagonal; both halves belong to the quad's element, so Body.elements numbers the
    triangle and quad cells as they come. Other cells (lines, volumes) are left out.
    Raises ValueError naming what is missing.
    """
    if isinstance(ic, (tuple, list)) and all(isinstance(name, str) for name in ic):
        missing = [name for name in ic if name not in mesh.point_data]
        if missing:
            raise ValueError(f"the mesh has no point data {' and '.join(missing)} (its initial coordinates); "
                             f"it has: {', '.join(mesh.point_data) or 'none'}; name two with ic=(NAME0, NAME1) "
                             f"or give an n x 2 array")
        ic = np.column_stack([np.ravel(mesh.point_data[name]) for name in ic])
    points = np.asarray(mesh.points, dtype=np.float64)
    if points.ndim == 2 and points.shape[1] == 2:
        points = np.column_stack([points, np.zeros(len(points))])
    triangles, elements, next_element = [], [], 0
    for block in mesh.cells:
        if block.type not in ("triangle", "quad"):
            continue
        cells = np.asarray(block.data, dtype=np.int64)
        numbers = np.arange(next_element, next_element + len(cells))
        next_element += len(cells)
        triangles.append(cells if block.type == "triangle" else _split_quads(points, cells))
        elements.append(numbers if block.type == "triangle" else np.repeat(numbers, 2))
    if not triangles:
        raise ValueError("the mesh has no triangle or quad cells; its cells are: "
                         + (", ".join(block.type for block in mesh.cells) or "none"))
    return Body(points, np.concatenate(triangles), ic, elements=np.concatenate(elements))


def _to_meshio(self):
    """The after body as a meshio mesh: its triangles at the aligned points, with point data
    DISPL (after minus aligned), MATCH_STATUS, MATCHED_VERTEX, LOCATED_TRIANGLE, WEIGHTS,
    INITIALCOORD0 and INITIALCOORD1."""
    import meshio

    aligned = self.aligned_points
    initial = self.after.initial_coordinates
    point_data = {
        "DISPL": self.after.points - aligned,
        "MATCH_STATUS": np.asarray(self.status, dtype=np.int32),
        "MATCHED_VERTEX": np.asarray(self.matching),
        "LOCATED_TRIANGLE": np.asarray(self.triangle),
        "WEIGHTS": np.array(self.weights),
        "INITIALCOORD0": initial[:, 0],
        "INITIALCOORD1": initial[:, 1],
    }
    return meshio.Mesh(aligned, [("triangle", self.after.triangles)], point_data=point_data)


AlignmentResult.to_meshio = _to_meshio
