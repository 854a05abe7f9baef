// The extension module coreio._coreio: bodies, their alignment and the transfer of fields, over
// the code of coreio-align. The package coreio adds the meshio conversions in Python.

#include "ArrayBody.h"
#include "ExodusLoader.h"
#include "FieldTransfer.h"
#include "FileAlignment.h"
#include "FileListing.h"
#include "NumpyArrays.h"
#include "PairAlignment.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <mutex>
#include <numeric>
#include <optional>
#include <sstream>

namespace CoreIoPython {
namespace {

// A body as a script holds it.
struct Body {
    CoreIo::MeshAndCoord record;  // positions relative to origin
    std::array<double, 3> origin{};
    std::vector<int> elementOfTriangle;  // per triangle its element, numbered from 0
    std::size_t numElements = 0;
    std::vector<std::int64_t> nodeIds;     // file bodies: per vertex the file's node number
    std::vector<std::int64_t> elementIds;  // file bodies: per element the file's element number
};

struct Alignment {
    CoreIoAlign::PairAlignment pair;
    std::shared_ptr<const Body> before;
    std::shared_ptr<const Body> after;
    std::once_flag elementsLocated;
    std::vector<Calvora::VertexLocation> afterElements;  // where each after element's centroid lies
};

struct FileListing {
    std::string path;
    CoreIo::ExodusListing listing;
};

// A platform parser's refusal, prefixed with the argument it concerns.
template <typename Parse>
auto understood(const std::string& argument, const std::string& value, Parse parse)
{
    try {
        return parse(value);
    } catch (const std::invalid_argument& error) {
        throw std::invalid_argument(argument + ": " + error.what());
    }
}

// "a,b", or a list of names and ids.
std::string commaList(const py::handle& value)
{
    if (py::isinstance<py::str>(value))
        return value.cast<std::string>();
    std::string text;
    for (const py::handle item : value)
        text += (text.empty() ? "" : ",") + py::str(item).cast<std::string>();
    return text;
}

CoreIo::ExodusBodyOptions bodyOptions(const py::object& body, const py::object& step, const py::object& ic,
                                      const std::string& displacement)
{
    CoreIo::ExodusBodyOptions options;
    if (!body.is_none())
        options.blocks = understood("body", commaList(body), CoreIo::parseBlockSelection);
    options.step = understood("step", py::str(step).cast<std::string>(), CoreIo::parseStep);
    options.displacement = displacement;
    if (!ic.is_none())
        options.initialCoordinates = understood("ic", commaList(ic), CoreIo::parseInitialCoordinateSource);
    return options;
}

// Elements numbered by first appearance among the triangles, which come block after block.
void numberFileElements(Body& body, const CoreIo::ExodusBodyDescription& description)
{
    std::map<std::pair<std::size_t, std::int64_t>, int> numbers;
    for (const CoreIo::ExodusTriangleSource& source : description.triangles) {
        const auto [entry, added] = numbers.try_emplace({source.block, source.element},
                                                        static_cast<int>(numbers.size()));
        if (added)
            body.elementIds.push_back(source.elementId);
        body.elementOfTriangle.push_back(entry->second);
    }
    body.numElements = numbers.size();
}

std::shared_ptr<Body> readBody(const std::string& path, const py::object& blocks, const py::object& step,
                               const py::object& ic, const std::string& displacement)
{
    const CoreIoAlign::BodyInFile where{path, bodyOptions(blocks, step, ic, displacement)};
    auto body = std::make_shared<Body>();
    py::gil_scoped_release released;
    CoreIoAlign::LoadedBody loaded = CoreIoAlign::readBody(where);
    body->record = std::move(loaded.record);
    body->origin = loaded.description().origin;
    body->nodeIds = loaded.description().nodeIds;
    numberFileElements(*body, loaded.description());
    return body;
}

std::shared_ptr<Body> makeArrayBody(const py::handle& points, const py::handle& triangles, const py::handle& ic,
                                    const py::handle& normals, const py::handle& elements)
{
    const auto pointRows = inputArray<double>(points, "points", 3);
    const auto triangleRows = inputArray<std::int64_t>(triangles, "triangles", 3);
    const auto icRows = inputArray<double>(ic, "initial_coordinates", 2);
    const auto normalRows = normals.is_none() ? InputArray<double>() : inputArray<double>(normals, "normals", 3);
    auto elementRows = elements.is_none() ? InputArray<std::int64_t>(triangleRows.shape(0))
                                          : inputArray<std::int64_t>(elements, "elements", 0);
    if (elements.is_none())
        std::iota(elementRows.mutable_data(), elementRows.mutable_data() + elementRows.size(), std::int64_t{0});
    const BodyArrays arrays{valuesOf(pointRows), valuesOf(triangleRows), valuesOf(icRows),
                            normals.is_none() ? std::span<const double>() : valuesOf(normalRows),
                            valuesOf(elementRows)};
    auto body = std::make_shared<Body>();
    py::gil_scoped_release released;
    const std::span<const std::int64_t> elementValues = arrays.elements;
    const std::int64_t numElements = elementValues.empty()
                                         ? 0
                                         : *std::max_element(elementValues.begin(), elementValues.end()) + 1;
    body->record = makeBody(arrays, numElements);
    body->elementOfTriangle.assign(elementValues.begin(), elementValues.end());
    body->numElements = static_cast<std::size_t>(numElements);
    return body;
}

py::array_t<double> pointsOf(const Calvora::Mesh& mesh, const std::array<double, 3>& origin)
{
    std::vector<double> points;
    points.reserve(3 * mesh.numberOfVertices());
    for (auto vertex = mesh.beginVertex(), end = mesh.endVertex(); vertex != end; ++vertex)
        points.insert(points.end(), {vertex->x + origin[0], vertex->y + origin[1], vertex->z + origin[2]});
    return ownedArray(std::move(points), 3);
}

py::array_t<std::int64_t> trianglesOf(const Calvora::Mesh& mesh)
{
    std::vector<std::int64_t> corners;
    corners.reserve(3 * mesh.numberOfTriangles());
    for (auto triangle = mesh.beginTriangle(), end = mesh.endTriangle(); triangle != end; ++triangle)
        for (const Calvora::Vertex* corner : triangle->corners)
            corners.push_back(corner->index);
    return ownedArray(std::move(corners), 3);
}

py::array_t<double> initialCoordinatesOf(const CoreIo::MeshAndCoord& record)
{
    std::vector<double> pairs;
    pairs.reserve(2 * record.initCoord0->size());
    for (std::size_t i = 0; i < record.initCoord0->size(); ++i)
        pairs.insert(pairs.end(), {(*record.initCoord0)[i], (*record.initCoord1)[i]});
    return ownedArray(std::move(pairs), 2);
}

CoreIoAlign::TubeMode tubeMode(const py::object& tube)
{
    if (py::isinstance<py::bool_>(tube))
        return tube.cast<bool>() ? CoreIoAlign::TubeMode::Yes : CoreIoAlign::TubeMode::No;
    const std::map<std::string, CoreIoAlign::TubeMode> modes{{"auto", CoreIoAlign::TubeMode::Auto},
                                                             {"yes", CoreIoAlign::TubeMode::Yes},
                                                             {"no", CoreIoAlign::TubeMode::No}};
    const auto mode = modes.find(py::str(tube).cast<std::string>());
    if (mode == modes.end())
        throw std::invalid_argument("tube must be \"auto\", \"yes\" or \"no\" (or True or False), not " +
                                    py::repr(tube).cast<std::string>());
    return mode->second;
}

std::shared_ptr<Alignment> align(std::shared_ptr<const Body> before, std::shared_ptr<const Body> after,
                                 const py::object& tube, bool complete)
{
    const CoreIoAlign::TubeMode mode = tubeMode(tube);
    auto alignment = std::make_shared<Alignment>();
    alignment->before = std::move(before);
    alignment->after = std::move(after);
    py::gil_scoped_release released;
    alignment->pair = CoreIoAlign::alignPair(alignment->before->record, alignment->after->record, mode, complete);
    return alignment;
}

// The rows a field is given in, checked against the count of the body's items it belongs to.
InputArray<double> fieldRows(const py::handle& values, std::size_t expectedRows, const std::string& items)
{
    auto rows = inputArray<double>(values, "values", -1);
    if (static_cast<std::size_t>(rows.shape(0)) != expectedRows)
        throw std::invalid_argument("values has " + std::to_string(rows.shape(0)) + " rows but the before body has " +
                                    std::to_string(expectedRows) + " " + items + "; give one row per " + items);
    return rows;
}

std::size_t columnsOf(const py::array& rows)
{
    return rows.ndim() == 1 ? 1 : static_cast<std::size_t>(rows.shape(1));
}

py::array_t<double> shapedLike(std::vector<double>&& values, const py::array& rows)
{
    return ownedArray(std::move(values), rows.ndim() == 1 ? 0 : columnsOf(rows));
}

py::array_t<double> mapNodal(const Alignment& alignment, const py::handle& values)
{
    const auto rows = fieldRows(values, alignment.before->record.mesh->numberOfVertices(), "vertices");
    std::vector<double> mapped;
    {
        py::gil_scoped_release released;
        mapped = CoreIoAlign::transferNodalValues(alignment.pair.locations, valuesOf(rows), columnsOf(rows));
    }
    return shapedLike(std::move(mapped), rows);
}

// Each element's distinct corners, in the form locateAfterElements takes.
void locateAfterElements(Alignment& alignment)
{
    const Body& after = *alignment.after;
    std::vector<std::vector<int>> cornersOfElement(after.numElements);
    const Calvora::Mesh& mesh = *after.record.mesh;
    for (std::size_t t = 0; t < mesh.numberOfTriangles(); ++t)
        for (const Calvora::Vertex* corner : mesh.getTriangle(static_cast<unsigned>(t)).corners)
            cornersOfElement[static_cast<std::size_t>(after.elementOfTriangle[t])].push_back(corner->index);
    std::vector<std::size_t> firstCorner{0};
    std::vector<int> corners;
    for (std::vector<int>& element : cornersOfElement) {
        std::sort(element.begin(), element.end());
        corners.insert(corners.end(), element.begin(), std::unique(element.begin(), element.end()));
        firstCorner.push_back(corners.size());
    }
    alignment.afterElements = CoreIoAlign::locateAfterElements(alignment.pair, firstCorner, corners);
}

py::array_t<double> mapElement(Alignment& alignment, const py::handle& values)
{
    const auto rows = fieldRows(values, alignment.before->numElements, "elements");
    std::vector<double> mapped;
    {
        py::gil_scoped_release released;
        std::call_once(alignment.elementsLocated, [&] { locateAfterElements(alignment); });
        mapped = CoreIoAlign::transferElementValues(alignment.afterElements, alignment.before->elementOfTriangle,
                                                    valuesOf(rows), columnsOf(rows));
    }
    return shapedLike(std::move(mapped), rows);
}

// A view of one member of every after vertex's location, kept alive by the result.
template <typename T>
py::array_t<T> locationMember(const py::object& self, std::size_t offset, std::vector<py::ssize_t> shape)
{
    const auto& locations = self.cast<const Alignment&>().pair.locations;
    std::vector<py::ssize_t> strides{sizeof(Calvora::VertexLocation)};
    if (!shape.empty())
        strides.push_back(sizeof(T));
    shape.insert(shape.begin(), static_cast<py::ssize_t>(locations.size()));
    const auto* first = reinterpret_cast<const char*>(locations.data()) + offset;
    return memberView<T>(first, std::move(shape), std::move(strides), self);
}

std::string listingText(const FileListing& file)
{
    std::ostringstream text;
    CoreIoAlign::printListing(text, file.path, file.listing);
    return text.str();
}

void translateExceptions(py::module_& module)
{
    static const py::exception<CoreIoAlign::InputError> inputError(module, "InputError", PyExc_ValueError);
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown)
                std::rethrow_exception(thrown);
        } catch (const CoreIo::LoadError& error) {
            PyErr_SetString(inputError.ptr(), error.what());
        } catch (const CoreIoAlign::InputError& error) {
            PyErr_SetString(inputError.ptr(), error.what());
        }
    });
}

}  // namespace
}  // namespace CoreIoPython

PYBIND11_MODULE(_coreio, module)
{
    using namespace CoreIoPython;
    module.doc() = "Bodies, their alignment through initial (material) coordinates and the transfer of fields.";
    translateExceptions(module);
    module.attr("COINCIDENT") = static_cast<int>(Calvora::MatchStatus::Coincident);
    module.attr("INSIDE") = static_cast<int>(Calvora::MatchStatus::Inside);
    module.attr("NEAR") = static_cast<int>(Calvora::MatchStatus::Near);
    module.attr("OUTSIDE") = static_cast<int>(Calvora::MatchStatus::Outside);

    py::class_<Body, std::shared_ptr<Body>>(module, "Body",
                                            R"(A triangulated body with two initial (material) coordinates per point.

Body(points, triangles, initial_coordinates, normals=None, elements=None)
- points: n x 3 floats; triangles: m x 3 integers, point rows from 0; initial_coordinates: n x 2 floats
- normals: n x 3 floats; None: computed from the triangles, weighted by area
- elements: m integers, the element (row of element values, from 0) each triangle belongs to;
  None: every triangle is an element of its own
Raises ValueError naming the array and its first bad row: wrong shape, a value that is not finite,
a triangle naming a point that does not exist, row counts that differ. The arrays are read in place
when they are C-contiguous (float64 points, int64 triangles), converted once otherwise; the body
keeps its own copy in the library's mesh, so the arrays may change afterwards. The GIL is released
while the body is made.)")
        .def(py::init(&makeArrayBody), py::arg("points"), py::arg("triangles"), py::arg("initial_coordinates"),
             py::arg("normals") = py::none(), py::arg("elements") = py::none())
        .def_property_readonly(
            "points", [](const Body& body) { return pointsOf(*body.record.mesh, body.origin); },
            "n x 3 float64, in the file's coordinates for a file body (a new array each time)")
        .def_property_readonly(
            "triangles", [](const Body& body) { return trianglesOf(*body.record.mesh); },
            "m x 3 int64 (a new array each time)")
        .def_property_readonly(
            "initial_coordinates", [](const Body& body) { return initialCoordinatesOf(body.record); },
            "n x 2 float64, as the library holds them: rounded to float32 (a new array each time)")
        .def_property_readonly(
            "elements",
            [](const Body& body) {
                return ownedArray(std::vector<std::int64_t>(body.elementOfTriangle.begin(),
                                                            body.elementOfTriangle.end()),
                                  0);
            },
            "m int64: the element of each triangle; a file body's elements are numbered block after block")
        .def_property_readonly("num_elements", [](const Body& body) { return body.numElements; })
        .def_property_readonly(
            "node_ids", [](const Body& body) { return ownedArray(std::vector(body.nodeIds), 0); },
            "n int64: a file body's node numbers from the file; empty for a body made from arrays")
        .def_property_readonly(
            "element_ids", [](const Body& body) { return ownedArray(std::vector(body.elementIds), 0); },
            "a file body's element numbers from the file, one per element; empty otherwise");

    py::class_<Alignment, std::shared_ptr<Alignment>>(module, "AlignmentResult",
                                                      R"(Where each vertex of the after body lies in the before body.

The arrays matching, status, triangle and weights are views of the result's own C++ data, made
without copies and read-only; they keep the result alive. aligned_points is a new array each time.)")
        .def_property_readonly(
            "matching", [](const Alignment& a) { return sharedArray(a.pair.result.vertexMatching); },
            "n_after int32: the before vertex matched to each after vertex (the library's matching); "
            "-1 where none was found and complete was False")
        .def_property_readonly(
            "aligned_points", [](const Alignment& a) { return pointsOf(*a.pair.result.alignedMesh, a.before->origin); },
            "n_after x 3 float64: the before body's shape at the after body's material points")
        .def_property_readonly(
            "status",
            [](const py::object& self) {
                return locationMember<std::uint8_t>(self, offsetof(Calvora::VertexLocation, status), {});
            },
            "n_after uint8: COINCIDENT 0, INSIDE 1, NEAR 2 (outside, within the search distance), OUTSIDE 3")
        .def_property_readonly(
            "triangle",
            [](const py::object& self) {
                return locationMember<int>(self, offsetof(Calvora::VertexLocation, triangle), {});
            },
            "n_after int32: the before triangle that holds each after vertex; -1 where outside")
        .def_property_readonly(
            "weights",
            [](const py::object& self) {
                return locationMember<double>(self, offsetof(Calvora::VertexLocation, weights), {3});
            },
            "n_after x 3 float64: barycentric weights in that triangle, summing to 1")
        .def_property_readonly(
            "tube", [](const Alignment& a) { return a.pair.tube; }, "whether the bodies were aligned as a tube")
        .def_property_readonly(
            "biggest_square_error", [](const Alignment& a) { return a.pair.biggestSquareError; },
            "the largest squared distance of a NEAR vertex to the before body")
        .def_property_readonly(
            "coverage", [](const Alignment& a) { return a.pair.coverage(); },
            "share of the after vertices that are not OUTSIDE; 1.0 when none is")
        .def_property_readonly("before", [](const Alignment& a) { return a.before; })
        .def_property_readonly("after", [](const Alignment& a) { return a.after; })
        .def("map_nodal", &mapNodal, py::arg("values"), R"(Nodal values of the before body at the after vertices.

values: n_before or n_before x k numbers; read in place when C-contiguous float64.
Returns n_after or n_after x k float64 (owning its data, no copy on return): the barycentric mix
of the corners for COINCIDENT and INSIDE, the corner of the largest weight for NEAR, NaN for OUTSIDE.
Raises ValueError when the rows are not one per before vertex. Releases the GIL.)")
        .def("map_element", &mapElement, py::arg("values"), R"(Element values of the before body at the after elements.

values: n_before_elements or n_before_elements x k numbers (rows as Body.elements numbers them).
Returns one row per after element: the row of the before element that holds the after element's
centroid in material coordinates, NaN where it lies outside. Raises ValueError when the rows are
not one per before element. Releases the GIL.)");

    py::class_<CoreIo::ExodusBlockListing>(module, "BlockListing")
        .def_readonly("id", &CoreIo::ExodusBlockListing::id)
        .def_readonly("name", &CoreIo::ExodusBlockListing::name)
        .def_readonly("element_type", &CoreIo::ExodusBlockListing::elementType)
        .def_readonly("num_elements", &CoreIo::ExodusBlockListing::numElements)
        .def_readonly("nodes_per_element", &CoreIo::ExodusBlockListing::nodesPerElement)
        .def_readonly("num_nodes", &CoreIo::ExodusBlockListing::numNodes)
        .def_readonly("skip_reason", &CoreIo::ExodusBlockListing::skipReason, "empty: a surface block");
    py::class_<FileListing>(module, "Listing", "What a file holds; str() gives the text of coreio-align --list.")
        .def_property_readonly("format", [](const FileListing& f) { return f.listing.format; })
        .def_property_readonly("num_nodes", [](const FileListing& f) { return f.listing.numNodes; })
        .def_property_readonly("blocks", [](const FileListing& f) { return f.listing.blocks; })
        .def_property_readonly("nodal_variables", [](const FileListing& f) { return f.listing.nodalVariables; })
        .def_property_readonly("element_variables", [](const FileListing& f) { return f.listing.elementVariables; })
        .def_property_readonly("step_times", [](const FileListing& f) { return f.listing.stepTimes; })
        .def("__str__", &listingText);

    module.def(
        "list_file",
        [](const std::string& path) {
            py::gil_scoped_release released;
            return FileListing{path, CoreIo::listExodusFile(path)};
        },
        py::arg("path"),
        "Describes an Exodus II file: blocks, variables, steps. Raises InputError when it cannot be read.");
    module.def("read_body", &readBody, py::arg("path"), py::arg("body") = py::none(), py::arg("step") = "last",
               py::arg("ic") = py::none(), py::arg("displacement") = "auto",
               R"(Reads one body from an Exodus II file, with the choices of coreio-align.

- body: None (every surface block), "NAME,7" or a list of block names and ids
- step: "last" or a step number from 1
- ic: None ("INITIALCOORD0,INITIALCOORD1"), two variable names ("A,B" or a pair), "reference-xy|yz|zx"
  or "reference-cylinder-x|y|z"
- displacement: "auto", "none" or the stem of a nodal triple ("DISP" for DISP_X, DISP_Y, DISP_Z)
Raises ValueError for a malformed choice and InputError (a ValueError) for a file that cannot be
read or lacks what was chosen, with the messages of coreio-align. Releases the GIL.)");
    module.def("align", &align, py::arg("before"), py::arg("after"), py::arg("tube") = "auto",
               py::arg("complete") = false, R"(Aligns after with before through their initial coordinates.

- tube: "auto" (decided from the data), "yes"/True or "no"/False
- complete: give every after vertex a matching vertex, through the nearest corner when needed
Returns an AlignmentResult. Raises InputError for bodies that cannot be aligned (missing or
non-finite initial coordinates, no triangles, no matching). Releases the GIL, so Python threads
can align several pairs at once.)");
}
