"""ParaView's datasets as the plain arrays the module coreio takes, and coreio's fields put back on them.

A body is made of the surface cells of every leaf of an input: the leaf itself for an unstructured
grid or polydata, the blocks of a multiblock dataset or partitioned collection for what ParaView's
Exodus readers give. Surface cells are triangles, quads and their quadratic and biquadratic forms;
other cells (vertices, lines, volumes, polygons) stay out. Points with the same global id are one
vertex, so blocks that share nodes share vertices; without global ids on every leaf, each leaf's
points stay its own.

- body_arrays(data_object, input_name) -> BodyArrays
- initial_coordinates(arrays, names) -> n x 2 float64
- with_fields(data_object, arrays, fields, summary) -> a new data object of the input's type

Each raises ValueError with a message for the user that begins with the input's name.
"""
from dataclasses import dataclass, field

import numpy as np
from vtkmodules.util.numpy_support import numpy_to_vtk, vtk_to_numpy
from vtkmodules.vtkCommonCore import vtkBitArray, vtkDoubleArray, vtkPoints, vtkStringArray
from vtkmodules.vtkCommonDataModel import (VTK_BIQUADRATIC_QUAD, VTK_BIQUADRATIC_TRIANGLE, VTK_LINE, VTK_POLYGON,
                                           VTK_QUAD, VTK_QUADRATIC_QUAD, VTK_QUADRATIC_TRIANGLE, VTK_TRIANGLE,
                                           VTK_TRIANGLE_STRIP, VTK_VERTEX, vtkCellTypes, vtkCompositeDataSet,
                                           vtkDataObject, vtkPolyData, vtkUnstructuredGrid)

# VTK cell type -> (coreio's cell type name, nodes per cell); VTK orders the nodes of each as coreio does.
SURFACE_CELLS = {
    VTK_TRIANGLE: ("triangle", 3),
    VTK_QUADRATIC_TRIANGLE: ("triangle6", 6),
    VTK_BIQUADRATIC_TRIANGLE: ("triangle7", 7),
    VTK_QUAD: ("quad", 4),
    VTK_QUADRATIC_QUAD: ("quad8", 8),
    VTK_BIQUADRATIC_QUAD: ("quad9", 9),
}

# Arrays ParaView's readers and filters add for their own bookkeeping: no simulation values.
BOOKKEEPING_ARRAYS = {"ObjectId", "object_id", "element_side", "PedigreeNodeId", "PedigreeElementId",
                      "vtkOriginalPointIds", "vtkOriginalCellIds", "vtkGhostType", "vtkValidPointMask"}

# Where an output array has no value: a point or cell outside the body.
INTEGER_FILL = -1


@dataclass
class Leaf:
    """One dataset of an input and where its points and cells went in the body."""
    dataset: object
    flat_index: int  # where it sits in a composite input; 0 for a dataset input
    point_rows: np.ndarray  # per point of the dataset: its body row; -1 where no surface cell uses it
    cell_blocks: list = field(default_factory=list)  # (body cell block, cell ids of the dataset in it)


@dataclass
class BodyArrays:
    """An input as coreio.body_from_cells takes it, with the way back to the input's datasets."""
    name: str  # "Before" or "After": begins every message about this input
    points: np.ndarray  # n x 3 float64
    cells: list  # [(coreio cell type name, k x nodes int64 of body rows)]
    point_data: dict  # name -> n or n x c
    cell_data: dict  # name -> [one array per cell block]
    node_ids: object  # n int64, or None when the input has no global point ids
    element_ids: object  # one int64 per cell of the cell blocks, in their order, or None
    time: object  # the time of the data the input shows, or None
    leaves: list  # Leaf per dataset that holds surface cells


def body_arrays(data_object, input_name):
    """The body of an input: its surface cells and the points and arrays they use.

    Raises ValueError when the input is no dataset of points and cells, or holds no surface cell.
    """
    datasets = _datasets_of(data_object, input_name)
    leaves, surfaces = [], []
    for flat_index, dataset in datasets:
        cells = list(_surface_cells(dataset))
        if cells:
            leaves.append(Leaf(dataset, flat_index, np.full(dataset.GetNumberOfPoints(), -1, dtype=np.int64)))
            surfaces.append(cells)
    if not leaves:
        raise ValueError(f"{input_name}: no triangle or quad cells to align (its cells: "
                         f"{', '.join(_cell_type_names(dataset for _, dataset in datasets)) or 'none'}); "
                         "the filter aligns shells and surfaces")
    node_ids, used_points = _number_points(leaves, surfaces)
    cells = []
    for leaf, leaf_cells in zip(leaves, surfaces):
        for type_name, connectivity, cell_ids in leaf_cells:
            leaf.cell_blocks.append((len(cells), cell_ids))
            cells.append((type_name, leaf.point_rows[connectivity]))
    point_arrays = _common_arrays([leaf.dataset.GetPointData() for leaf in leaves])
    return BodyArrays(
        name=input_name,
        points=_gathered([_points_of(leaf.dataset) for leaf in leaves], used_points),
        cells=cells,
        point_data={name: _gathered(per_leaf, used_points) for name, per_leaf in point_arrays.items()},
        cell_data=_cell_data(leaves),
        node_ids=node_ids,
        element_ids=_element_ids(leaves),
        time=_time_of(data_object),
        leaves=leaves)


def initial_coordinates(arrays, names):
    """The two point arrays named (in any case) as an n x 2 array.

    Raises ValueError naming the arrays the input lacks and the ones it has.
    """
    by_name = {name.upper(): name for name, values in arrays.point_data.items() if np.ndim(values) == 1}
    missing = [name for name in names if name.upper() not in by_name]
    if missing:
        offered = ", ".join(name for name, values in arrays.point_data.items() if np.ndim(values) == 1)
        raise ValueError(f"{arrays.name}: no point array {' or '.join(missing)} (its initial coordinates) on every "
                         f"block; its point arrays of one component are: {offered or 'none'}; name two in Initial "
                         "Coordinates, or take them from the reference shape with reference-xy|yz|zx or "
                         "reference-cylinder-x|y|z")
    return np.column_stack([arrays.point_data[by_name[name.upper()]] for name in names]).astype(np.float64)


def with_fields(data_object, arrays, fields, summary):
    """A copy of the input with the aligned points and the fields of its body.

    - fields: what coreio's output_fields gives for this input's body: aligned_points (n x 3),
      point_data {name: n or n x c}, cell_data {name: [one array per cell block]}
    - summary: {name: number or text or dict of them}, kept as field data ALIGNMENT_<NAME>
    The input's own arrays and ids stay; an output array replaces one of the same name. Triples
    NAME_X, NAME_Y, NAME_Z become one vector NAME_, as ParaView's Exodus II reader shows them, and
    replace the vector NAME the IOSS reader makes of them. Points no
    surface cell uses keep their position and get NaN (INTEGER_FILL for integer arrays); so do the
    values of cells outside the body. Datasets without surface cells are left out.
    """
    point_data = _as_vectors(fields.point_data)
    summary_arrays = _summary_arrays(summary)
    output = data_object.NewInstance()
    if isinstance(data_object, vtkCompositeDataSet):
        output.CopyStructure(data_object)
        iterator = data_object.NewIterator()
        iterator.SkipEmptyNodesOn()
        iterator.InitTraversal()
        leaves = {leaf.flat_index: leaf for leaf in arrays.leaves}
        while not iterator.IsDoneWithTraversal():
            leaf = leaves.get(iterator.GetCurrentFlatIndex())
            if leaf is not None:
                output.SetDataSet(iterator, _leaf_with_fields(leaf, fields, point_data, summary_arrays))
            iterator.GoToNextItem()
    else:
        output.ShallowCopy(_leaf_with_fields(arrays.leaves[0], fields, point_data, summary_arrays))
    for array in summary_arrays:
        output.GetFieldData().AddArray(array)
    return output


def _datasets_of(data_object, input_name):
    if isinstance(data_object, vtkCompositeDataSet):
        datasets = []
        iterator = data_object.NewIterator()
        iterator.SkipEmptyNodesOn()
        iterator.InitTraversal()
        while not iterator.IsDoneWithTraversal():
            datasets.append((iterator.GetCurrentFlatIndex(), iterator.GetCurrentDataObject()))
            iterator.GoToNextItem()
    else:
        datasets = [(0, data_object)]
    for _, dataset in datasets:
        if not isinstance(dataset, (vtkUnstructuredGrid, vtkPolyData)):
            kind = dataset.GetClassName() if dataset is not None else "nothing"
            raise ValueError(f"{input_name}: holds a {kind}, not an unstructured grid or polydata; give it the Exodus "
                             "reader's blocks, or turn it into an unstructured grid first (Merge Blocks, Extract "
                             "Surface)")
    return datasets


def _surface_cells(dataset):
    """(coreio cell type name, k x nodes connectivity, k cell ids) per kind of surface cell."""
    if dataset.GetNumberOfCells() == 0:
        return
    if isinstance(dataset, vtkUnstructuredGrid):
        cell_array = dataset.GetCells()
        types = vtk_to_numpy(dataset.GetCellTypesArray())
        first_cell = 0
    else:
        cell_array = dataset.GetPolys()
        sizes = np.diff(vtk_to_numpy(cell_array.GetOffsetsArray()))
        types = np.select([sizes == 3, sizes == 4], [VTK_TRIANGLE, VTK_QUAD], -1)
        first_cell = dataset.GetNumberOfVerts() + dataset.GetNumberOfLines()  # polydata numbers polys after them
    offsets = vtk_to_numpy(cell_array.GetOffsetsArray())
    connectivity = np.asarray(vtk_to_numpy(cell_array.GetConnectivityArray()), dtype=np.int64)
    for vtk_type, (type_name, size) in SURFACE_CELLS.items():
        cells = np.flatnonzero(types == vtk_type)
        if len(cells) == len(types):  # one kind of cell: the connectivity is already k x size
            yield type_name, connectivity.reshape(-1, size), cells + first_cell
        elif len(cells):
            yield type_name, connectivity[offsets[cells, None] + np.arange(size)], cells + first_cell


def _cell_type_names(datasets):
    types = set()
    for dataset in datasets:
        if isinstance(dataset, vtkUnstructuredGrid):
            types.update(vtk_to_numpy(dataset.GetDistinctCellTypesArray()).tolist())
        else:
            counts = {VTK_VERTEX: dataset.GetNumberOfVerts(), VTK_LINE: dataset.GetNumberOfLines(),
                      VTK_POLYGON: dataset.GetNumberOfPolys(), VTK_TRIANGLE_STRIP: dataset.GetNumberOfStrips()}
            types.update(cell_type for cell_type, count in counts.items() if count)
    return sorted(vtkCellTypes.GetClassNameFromTypeId(cell_type).removeprefix("vtk") for cell_type in types)


def _number_points(leaves, surfaces):
    """Gives each point a surface cell uses its body row, in leaf.point_rows: one row per global id,
    in their order, or without global ids on every leaf, one per point, leaf after leaf.

    Returns the node ids (None without global ids) and, per row, the index of its point in the
    leaves' points stacked one after the other.
    """
    global_ids = [_global_ids(leaf.dataset.GetPointData()) for leaf in leaves]
    merge = all(ids is not None for ids in global_ids)
    offsets = np.cumsum([0] + [leaf.dataset.GetNumberOfPoints() for leaf in leaves])[:-1]
    used = [_used_points(leaf.dataset.GetNumberOfPoints(), cells) for leaf, cells in zip(leaves, surfaces)]
    stacked = np.concatenate([points + offset for points, offset in zip(used, offsets)])
    if merge:
        node_ids, first, rows = np.unique(np.concatenate([ids[points] for ids, points in zip(global_ids, used)]),
                                          return_index=True, return_inverse=True)
    else:
        node_ids, first, rows = None, np.arange(len(stacked)), np.arange(len(stacked))
    start = 0
    for leaf, points in zip(leaves, used):
        leaf.point_rows[points] = rows[start:start + len(points)]
        start += len(points)
    return node_ids, stacked[first]


def _used_points(count, cells):
    used = np.zeros(count, dtype=bool)
    for _, connectivity, _ in cells:
        used[connectivity.ravel()] = True
    return np.flatnonzero(used)


def _global_ids(attributes):
    ids = attributes.GetGlobalIds()
    return None if ids is None else vtk_to_numpy(ids).astype(np.int64)


def _points_of(dataset):
    return vtk_to_numpy(dataset.GetPoints().GetData()).astype(np.float64)


def _gathered(per_leaf, rows):
    """Rows of the leaves' arrays stacked one after the other."""
    return np.concatenate(per_leaf)[rows]


def _simulation_arrays(attributes):
    """name -> numpy array of the numeric arrays that hold values, not ids."""
    skipped = set(BOOKKEEPING_ARRAYS)
    for ids in (attributes.GetGlobalIds(), attributes.GetPedigreeIds()):
        if ids is not None:
            skipped.add(ids.GetName())
    arrays = {}
    for index in range(attributes.GetNumberOfArrays()):
        array = attributes.GetArray(index)  # None for string arrays
        if array is None or isinstance(array, vtkBitArray) or not array.GetName() or array.GetName() in skipped:
            continue
        arrays[array.GetName()] = vtk_to_numpy(array)
    return arrays


def _common_arrays(attributes_per_leaf):
    """name -> [one array per leaf] for the arrays every leaf has with the same components."""
    per_leaf = [_simulation_arrays(attributes) for attributes in attributes_per_leaf]
    common = {}
    for name, values in per_leaf[0].items():
        if all(name in arrays and arrays[name].shape[1:] == values.shape[1:] for arrays in per_leaf):
            common[name] = [arrays[name] for arrays in per_leaf]
    return common


def _cell_data(leaves):
    """name -> [one array per cell block] for the cell arrays every leaf has."""
    common = _common_arrays([leaf.dataset.GetCellData() for leaf in leaves])
    return {name: [values[cell_ids] for values, leaf in zip(per_leaf, leaves) for _, cell_ids in leaf.cell_blocks]
            for name, per_leaf in common.items()}


def _element_ids(leaves):
    ids = [_global_ids(leaf.dataset.GetCellData()) for leaf in leaves]
    if any(leaf_ids is None for leaf_ids in ids):
        return None
    return np.concatenate([leaf_ids[cell_ids] for leaf_ids, leaf in zip(ids, leaves) for _, cell_ids in leaf.cell_blocks])


def _time_of(data_object):
    information = data_object.GetInformation()
    if information.Has(vtkDataObject.DATA_TIME_STEP()):
        return information.Get(vtkDataObject.DATA_TIME_STEP())
    return None


def _as_vectors(point_data):
    """Triples NAME_X, NAME_Y, NAME_Z of one component as the vector NAME_, the rest as they are."""
    arrays = dict(point_data)
    for name in list(arrays):
        stem = name[:-1]
        triple = [stem + axis for axis in "XYZ"]
        if name.endswith("_X") and all(np.ndim(arrays.get(part)) == 1 for part in triple):
            arrays[stem] = np.column_stack([arrays.pop(part) for part in triple])
    return arrays


def _filled(values, rows):
    """values taken at rows, NaN or INTEGER_FILL where a row is -1."""
    values = np.asarray(values)
    if np.issubdtype(values.dtype, np.integer):
        out = np.full(rows.shape + values.shape[1:], INTEGER_FILL, dtype=np.result_type(values.dtype, np.int8))
    else:
        out = np.full(rows.shape + values.shape[1:], np.nan)
    inside = rows >= 0
    out[inside] = values[rows[inside]]
    return out


def _vtk_array(name, values):
    array = numpy_to_vtk(np.ascontiguousarray(values), deep=1)
    array.SetName(name)
    if values.ndim == 2 and values.shape[1] == 3:
        for component, axis in enumerate("XYZ"):
            array.SetComponentName(component, axis)
    return array


def _leaf_with_fields(leaf, fields, point_data, summary_arrays):
    dataset = leaf.dataset
    output = dataset.NewInstance()
    output.ShallowCopy(dataset)
    rows = leaf.point_rows
    aligned = _filled(fields.aligned_points, rows)
    outside = rows < 0
    aligned[outside] = _points_of(dataset)[outside]
    points = vtkPoints()
    points.SetData(numpy_to_vtk(aligned, deep=1))
    output.SetPoints(points)
    for name, values in point_data.items():
        if name.endswith("_"):
            output.GetPointData().RemoveArray(name[:-1])  # the same triple as the IOSS reader names it
        output.GetPointData().AddArray(_vtk_array(name, _filled(values, rows)))
    cell_rows = np.full(dataset.GetNumberOfCells(), -1, dtype=np.int64)
    start = 0
    for _, cell_ids in leaf.cell_blocks:
        cell_rows[cell_ids] = start + np.arange(len(cell_ids))
        start += len(cell_ids)
    for name, per_block in fields.cell_data.items():
        values = np.concatenate([per_block[block] for block, _ in leaf.cell_blocks])
        output.GetCellData().AddArray(_vtk_array(name, _filled(values, cell_rows)))
    for array in summary_arrays:
        output.GetFieldData().AddArray(array)
    return output


def _summary_arrays(summary, prefix="ALIGNMENT_"):
    """One field-data array per summary entry: a number as a double, anything else as text; a dict
    entry gives one per item, named NAME_ITEM."""
    arrays = []
    for key, value in summary.items():
        name = prefix + str(key).upper()
        if isinstance(value, dict):
            arrays += _summary_arrays(value, name + "_")
            continue
        if value is None or value in ("", [], ()):
            continue
        if isinstance(value, (bool, int, float)):
            array = vtkDoubleArray()
            array.InsertNextValue(float(value))
        else:
            array = vtkStringArray()
            array.InsertNextValue(", ".join(map(str, value)) if isinstance(value, (list, tuple)) else str(value))
        array.SetName(name)
        arrays.append(array)
    return arrays
