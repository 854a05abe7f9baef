"""Simulation bodies before and after a process step, related through their initial (material)
coordinates: read from Exodus II files or made from arrays, aligned, and fields carried over.

    before = coreio.read_body("before.exo")
    after = coreio.read_body("after.exo")
    result = coreio.align(before, after)
    result.output_fields().point_data["DISPL_MAG"]   # what coreio-align -o writes, as arrays
    result.map_nodal(values)                          # n_before values -> n_after values

meshio meshes convert with from_meshio() and AlignmentResult.to_meshio(); whole jobs of files run
with align_files(), many of them at once with coreio.batch.
"""
import numpy as np

from ._coreio import (CELL_TYPES, COINCIDENT, EXIT_BAD_INPUT, EXIT_BAD_USAGE, EXIT_BELOW_COVERAGE, EXIT_DONE, INSIDE,
                      NEAR, OUTSIDE, AlignmentResult, BlockListing, Body, CoreIoWarning, InputError, Listing, align,
                      align_files, body_from_cells, list_file, read_body, reference_initial_coordinates)

__all__ = ["Body", "AlignmentResult", "Listing", "BlockListing", "InputError", "CoreIoWarning", "align",
           "align_files", "body_from_cells", "read_body", "list_file", "reference_initial_coordinates",
           "from_meshio", "CELL_TYPES", "COINCIDENT", "INSIDE", "NEAR", "OUTSIDE", "EXIT_DONE", "EXIT_BAD_INPUT",
           "EXIT_BAD_USAGE", "EXIT_BELOW_COVERAGE"]


def from_meshio(mesh, ic=("INITIALCOORD0", "INITIALCOORD1")):
    """A Body of a meshio mesh's surface cells (coreio.CELL_TYPES), in the order of its cell blocks.

    ic: the names of two entries of mesh.point_data, an n x 2 array, or a reference form
    ("reference-xy", "reference-cylinder-z", ...). The mesh's point_data and cell_data come along
    as the body's fields; cells of other types (lines, volumes) are left out with their cell data.
    Raises ValueError naming what is missing.
    """
    if isinstance(ic, str):
        ic = reference_initial_coordinates(_points_of(mesh), ic)
    elif isinstance(ic, (tuple, list)) and all(isinstance(name, str) for name in ic):
        missing = [name for name in ic if name not in mesh.point_data]
        if missing:
            raise ValueError(f"the mesh has no point data {' and '.join(missing)} (its initial coordinates); "
                             f"it has: {', '.join(mesh.point_data) or 'none'}; name two with ic=(NAME0, NAME1), "
                             f"give an n x 2 array or a reference form such as 'reference-xy'")
        ic = np.column_stack([np.ravel(mesh.point_data[name]) for name in ic])
    kept = [k for k, block in enumerate(mesh.cells) if block.type in CELL_TYPES]
    if not kept:
        raise ValueError("the mesh has no surface cells (" + ", ".join(CELL_TYPES) + "); its cells are: "
                         + (", ".join(block.type for block in mesh.cells) or "none"))
    cells = [(mesh.cells[k].type, mesh.cells[k].data) for k in kept]
    cell_data = {name: [arrays[k] for k in kept] for name, arrays in mesh.cell_data.items()}
    return body_from_cells(_points_of(mesh), cells, ic, point_data=dict(mesh.point_data), cell_data=cell_data)


def _points_of(mesh):
    points = np.asarray(mesh.points, dtype=np.float64)
    if points.ndim == 2 and points.shape[1] == 2:
        points = np.column_stack([points, np.zeros(len(points))])
    return points


def _to_meshio(self, map="all"):
    """The after body as a meshio mesh: its own cells (quads stay quads, higher-order cells stay
    higher-order) at the aligned points, with every field coreio-align -o writes: point data
    DISPL_X/Y/Z, DISPL_MAG, INITIALCOORD0/1, MATCH_STATUS, MATCHED_NODE_ID, BEFORE_<NAME>, and cell
    data BEFORE_<NAME>. map: "all", "none" or names of the before body's fields to carry."""
    import meshio

    fields = self.output_fields(map)
    return meshio.Mesh(fields.aligned_points, self.after.cells, point_data=fields.point_data,
                       cell_data=fields.cell_data)


AlignmentResult.to_meshio = _to_meshio
