#!/usr/bin/python3
"""Writes a pair of Exodus II result files of a formed quad sheet, before and after a process
step, meshed apart from each other, for the whole-job comparison (job_peer.py).

Each file holds one block of SHELL4 elements in single precision with node and element number
maps, one time step, the nodal variables DISPLX, DISPLY, DISPLZ (the displacement from the flat
blank to the formed shape), INITIALCOORD0 and INITIALCOORD1 (the blank position, in mm), and the
element variable THICKNESS; more nodal variables with --extra-nodal. The before sheet is a square
grid of about --nodes nodes whose interior nodes move at random by up to a fifth of a cell; the
after sheet is the same blank on a grid of other spacing in each direction, also moved, formed a
little deeper (springback), its quads numbered from another offset.

Needs Debian's python3-netcdf4 and python3-numpy:
    /usr/bin/python3 bench/peer/make_quad_pair.py --nodes 1000000 DIR   # writes DIR/before.exo, DIR/after.exo
"""

import argparse
import os

import netCDF4
import numpy as np

SIZE = 400.0  # mm, the blank's side
DEPTH = 40.0  # mm


def sheet(cells_u, cells_v, seed, depth):
    """Nodes (reference x, y, z; blank u, v; formed shape) and quads of a jittered grid."""
    rng = np.random.default_rng(seed)
    i, j = np.meshgrid(np.arange(cells_u + 1, dtype=float), np.arange(cells_v + 1, dtype=float))
    interior = (i > 0) & (i < cells_u) & (j > 0) & (j < cells_v)
    u = (i + interior * rng.uniform(-0.2, 0.2, i.shape)) / cells_u * SIZE
    v = (j + interior * rng.uniform(-0.2, 0.2, j.shape)) / cells_v * SIZE
    u, v = u.ravel(), v.ravel()
    formed = np.column_stack([u, v, depth * np.sin(np.pi * u / SIZE) * np.sin(np.pi * v / SIZE)])
    corner = (np.arange(cells_v)[:, None] * (cells_u + 1) + np.arange(cells_u)[None, :]).ravel()
    quads = np.column_stack([corner, corner + 1, corner + cells_u + 2, corner + cells_u + 1])
    return u, v, formed, quads


def names(dataset, variable, values):
    array = dataset.variables[variable]
    for k, name in enumerate(values):
        array[k, :] = netCDF4.stringtochar(np.array([name.ljust(33, "\0")], "S33"))[0]


def write(path, cells_u, cells_v, seed, depth, node_offset, element_offset, extra_nodal):
    u, v, formed, quads = sheet(cells_u, cells_v, seed, depth)
    nodes, elements = len(u), len(quads)
    reference = np.column_stack([u, v, np.zeros(nodes)])
    nodal = {"DISPLX": formed[:, 0] - reference[:, 0], "DISPLY": formed[:, 1] - reference[:, 1],
             "DISPLZ": formed[:, 2] - reference[:, 2], "INITIALCOORD0": u, "INITIALCOORD1": v}
    for k in range(extra_nodal):
        nodal["STRAIN%d" % k] = np.cos(u / (10.0 + k)) * np.sin(v / 20.0)
    centre = formed[quads].mean(axis=1)
    thickness = 0.8 - 0.1 * centre[:, 2] / DEPTH

    with netCDF4.Dataset(path, "w", format="NETCDF3_64BIT_OFFSET") as out:
        out.setncatts({"api_version": np.float32(8.03), "version": np.float32(8.03),
                       "floating_point_word_size": np.int32(4), "file_size": np.int32(1),
                       "maximum_name_length": np.int32(32), "int64_status": np.int32(0),
                       "title": "formed sheet, seed %d" % seed})
        for name, size in [("len_string", 33), ("len_line", 81), ("four", 4), ("len_name", 33),
                           ("time_step", None), ("num_dim", 3), ("num_nodes", nodes), ("num_elem", elements),
                           ("num_el_blk", 1), ("num_el_in_blk1", elements), ("num_nod_per_el1", 4),
                           ("num_nod_var", len(nodal)), ("num_elem_var", 1)]:
            out.createDimension(name, size)
        out.createVariable("time_whole", "f4", ("time_step",))
        out.createVariable("eb_status", "i4", ("num_el_blk",))
        out.createVariable("eb_prop1", "i4", ("num_el_blk",)).setncattr("name", "ID")
        out.createVariable("eb_names", "S1", ("num_el_blk", "len_name"))
        out.createVariable("coor_names", "S1", ("num_dim", "len_name"))
        for axis in "xyz":
            out.createVariable("coord" + axis, "f4", ("num_nodes",))
        out.createVariable("node_num_map", "i4", ("num_nodes",))
        out.createVariable("elem_num_map", "i4", ("num_elem",))
        out.createVariable("connect1", "i4", ("num_el_in_blk1", "num_nod_per_el1")).setncattr("elem_type", "SHELL4")
        out.createVariable("name_nod_var", "S1", ("num_nod_var", "len_name"))
        out.createVariable("name_elem_var", "S1", ("num_elem_var", "len_name"))
        out.createVariable("elem_var_tab", "i4", ("num_el_blk", "num_elem_var"))
        for k in range(len(nodal)):
            out.createVariable("vals_nod_var%d" % (k + 1), "f4", ("time_step", "num_nodes"))
        out.createVariable("vals_elem_var1eb1", "f4", ("time_step", "num_el_in_blk1"))

        out["eb_status"][:] = [1]
        out["eb_prop1"][:] = [1]
        names(out, "eb_names", ["BLANK"])
        names(out, "coor_names", ["x", "y", "z"])
        names(out, "name_nod_var", list(nodal))
        names(out, "name_elem_var", ["THICKNESS"])
        out["elem_var_tab"][:] = [[1]]
        for k, axis in enumerate("xyz"):
            out["coord" + axis][:] = reference[:, k]
        out["node_num_map"][:] = np.arange(nodes) + node_offset
        out["elem_num_map"][:] = np.arange(elements) + element_offset
        out["connect1"][:] = quads + 1
        out["time_whole"][0] = 1.0
        for k, values in enumerate(nodal.values()):
            out["vals_nod_var%d" % (k + 1)][0, :] = values
        out["vals_elem_var1eb1"][0, :] = thickness


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("directory")
    parser.add_argument("--nodes", type=int, default=1000000, help="about this many nodes per file")
    parser.add_argument("--extra-nodal", type=int, default=0, help="more nodal variables (STRAIN0, ...)")
    arguments = parser.parse_args()
    os.makedirs(arguments.directory, exist_ok=True)
    cells = max(2, int(round(arguments.nodes ** 0.5)) - 1)
    write(os.path.join(arguments.directory, "before.exo"), cells, cells, 3, DEPTH, 1000001, 2000001,
          arguments.extra_nodal)
    write(os.path.join(arguments.directory, "after.exo"), cells * 5 // 4, max(2, cells * 4 // 5), 5, DEPTH * 1.02,
          5000001, 7000001, arguments.extra_nodal)


if __name__ == "__main__":
    main()
