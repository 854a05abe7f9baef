// The extension module coreio._coreio: bodies, their alignment, the fields it gives and whole
// alignment jobs, over the code of coreio-align. The package coreio adds the meshio conversions and
// the batch runner in Python.

#include "AlignedFields.h"
#include "AlignmentJob.h"
#include "AlignmentReport.h"
#include "Body.h"
#include "BodyAlignment.h"
#include "BodyReader.h"
#include "Errors.h"
#include "ExodusLoader.h"
#include "ExodusVariables.h"
#include "FieldTransfer.h"
#include "FileListing.h"
#include "NumpyArrays.h"
#include "ToolLog.h"

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

using CoreIoAlign::Body;
using CoreIoAlign::BodyField;
using CoreIoAlign::InputError;

struct Alignment {
    CoreIoAlign::Alignment alignment;
    std::shared_ptr<Body> before;
    std::shared_ptr<Body> after;
    std::once_flag elementsLocated;
    std::vector<Calvora::VertexLocation> afterElements;  // where each after element's centroid lies
    std::once_flag fieldsMade;
    CoreIoAlign::AlignedFields fields;  // with every field of the before body mapped
};

struct FileListing {
    std::string path;
    CoreIo::ExodusListing listing;
};

py::object warningCategory;  // coreio.CoreIoWarning, set when the module is made

template <typename Work>
auto withoutGil(Work work)
{
    py::gil_scoped_release released;
    return work();
}

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

// "a,b", a block id, or a list of names and ids.
std::string commaList(const py::handle& value)
{
    if (py::isinstance<py::str>(value) || py::isinstance<py::int_>(value))
        return py::str(value).cast<std::string>();
    std::string text;
    for (const py::handle item : value)
        text += (text.empty() ? "" : ",") + py::str(item).cast<std::string>();
    return text;
}

std::string pathText(const py::handle& path)
{
    return py::module_::import("os").attr("fspath")(path).cast<std::string>();
}

std::optional<std::string> optionalPath(const py::object& path)
{
    return path.is_none() ? std::nullopt : std::optional(pathText(path));
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

// "all" (unset), "none" (empty) or names.
CoreIoAlign::VariableChoice variableChoice(const py::object& choice, const std::string& argument)
{
    if (py::isinstance<py::str>(choice)) {
        const std::string word = choice.cast<std::string>();
        if (word == "all")
            return std::nullopt;
        if (word == "none")
            return std::vector<std::string>{};
        return understood(argument, word, CoreIo::parseBlockSelection);
    }
    return choice.cast<std::vector<std::string>>();
}

CoreIoAlign::TubeMode tubeMode(const py::object& tube)
{
    if (py::isinstance<py::bool_>(tube))
        return tube.cast<bool>() ? CoreIoAlign::TubeMode::Yes : CoreIoAlign::TubeMode::No;
    try {
        return CoreIoAlign::parseTubeMode(py::str(tube).cast<std::string>());
    } catch (const CoreIoAlign::UsageError&) {
        throw std::invalid_argument("tube must be \"auto\", \"yes\" or \"no\" (or True or False), not " +
                                    py::repr(tube).cast<std::string>());
    }
}

std::shared_ptr<Body> readBody(const py::object& path, const py::object& blocks, const py::object& step,
                               const py::object& ic, const std::string& displacement, const py::object& fields)
{
    const CoreIoAlign::BodyInFile where{pathText(path), bodyOptions(blocks, step, ic, displacement)};
    const CoreIoAlign::VariableChoice variables = variableChoice(fields, "fields");
    auto body = withoutGil([&] { return std::make_shared<Body>(CoreIoAlign::readBody(where, variables)); });
    for (const std::string& warning : body->summary.warnings)
        if (PyErr_WarnEx(warningCategory.ptr(), warning.c_str(), 2) != 0)
            throw py::error_already_set();
    return body;
}

// Rows of a field: n, or n x c.
BodyField fieldOf(const std::string& name, const py::handle& values, std::size_t rows, const std::string& items)
{
    const auto array = inputArray<double>(values, name, -1);
    const std::size_t components = array.ndim() == 1 ? 1 : static_cast<std::size_t>(array.shape(1));
    if (static_cast<std::size_t>(array.shape(0)) != rows)
        throw InputError(name + " has " + std::to_string(array.shape(0)) + " rows, not one per " + items + " (" +
                         std::to_string(rows) + ")");
    const std::span<const double> data = valuesOf(array);
    return {name, components, {data.begin(), data.end()}};
}

CoreIoAlign::BodyBlock cellBlock(const py::handle& cells, std::size_t position)
{
    const bool named = py::hasattr(cells, "type") && py::hasattr(cells, "data");
    const py::object type = named ? py::object(cells.attr("type")) : py::object(cells.cast<py::tuple>()[0]);
    const py::object data = named ? py::object(cells.attr("data")) : py::object(cells.cast<py::tuple>()[1]);
    const std::string label = "cells[" + std::to_string(position) + "] (" + py::str(type).cast<std::string>() + ")";
    const auto connectivity = inputArray<std::int64_t>(data, label, -1);
    CoreIoAlign::BodyBlock block;
    block.id = static_cast<std::int64_t>(position) + 1;
    block.label = label;
    block.elementType = py::str(type).cast<std::string>();
    block.nodesPerElement = connectivity.ndim() == 2 ? static_cast<int>(connectivity.shape(1)) : 1;
    for (const std::int64_t point : valuesOf(connectivity))
        block.connectivity.push_back(static_cast<int>(std::clamp<std::int64_t>(point, -1, INT32_MAX)));
    return block;
}

std::vector<std::int64_t> idsOf(const py::object& ids, const std::string& name)
{
    if (ids.is_none())
        return {};
    const auto array = inputArray<std::int64_t>(ids, name, 0);
    const std::span<const std::int64_t> values = valuesOf(array);
    return {values.begin(), values.end()};
}

// The element fields of cell_data: one array per cell block, joined block after block.
std::vector<BodyField> elementFieldsOf(const py::dict& cellData, const std::vector<CoreIoAlign::BodyBlock>& blocks)
{
    std::vector<BodyField> fields;
    for (const auto& [key, perBlock] : cellData) {
        const std::string name = py::str(key).cast<std::string>();
        const py::list arrays(py::reinterpret_borrow<py::object>(perBlock));
        if (arrays.size() != blocks.size())
            throw InputError("cell_data " + name + " has " + std::to_string(arrays.size()) +
                             " arrays, not one per "
                             "cell block (" +
                             std::to_string(blocks.size()) + ")");
        BodyField joinedField{name, 0, {}};
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            BodyField part = fieldOf(name, arrays[b], blocks[b].numElements(), "cell of block " + std::to_string(b));
            if (b > 0 && part.components != joinedField.components)
                throw InputError("cell_data " + name + " has arrays of different widths");
            joinedField.components = part.components;
            joinedField.values.insert(joinedField.values.end(), part.values.begin(), part.values.end());
        }
        fields.push_back(std::move(joinedField));
    }
    return fields;
}

// Initial coordinates from a reference shape, as --ic reference-... takes them: n x 2.
std::vector<double> referenceCoordinates(std::span<const double> points, const CoreIo::InitialCoordinateSource& source)
{
    CoreIo::Positions positions;
    for (std::size_t k = 0; k < points.size(); ++k)
        positions[k % 3].push_back(points[k]);
    const auto [first, second] = CoreIo::referenceInitialCoordinates(positions, source);
    std::vector<double> pairs;
    pairs.reserve(2 * first.size());
    for (std::size_t k = 0; k < first.size(); ++k)
        pairs.insert(pairs.end(), {first[k], second[k]});
    return pairs;
}

CoreIo::InitialCoordinateSource referenceForm(const std::string& form)
{
    const CoreIo::InitialCoordinateSource source = understood("initial_coordinates", form,
                                                              CoreIo::parseInitialCoordinateSource);
    if (source.kind == CoreIo::InitialCoordinateSource::Kind::Variables)
        throw std::invalid_argument("initial_coordinates: a form must be reference-xy|yz|zx or "
                                    "reference-cylinder-x|y|z, not " +
                                    form + "; give arrays for variables");
    return source;
}

std::shared_ptr<Body> bodyFromCells(const py::handle& points, const py::list& cells, const py::handle& ic,
                                    const py::object& pointData, const py::object& cellData, const py::object& nodeIds,
                                    const py::object& elementIds, const py::object& normals,
                                    const py::object& referencePoints)
{
    const auto pointRows = inputArray<double>(points, "points", 3);
    const auto referenceRows = referencePoints.is_none() ? InputArray<double>()
                                                         : inputArray<double>(referencePoints, "reference_points", 3);
    const auto normalRows = normals.is_none() ? InputArray<double>() : inputArray<double>(normals, "normals", 3);
    CoreIoAlign::BodyArrays arrays;
    arrays.points = valuesOf(pointRows);
    if (!referencePoints.is_none())
        arrays.referencePoints = valuesOf(referenceRows);
    if (!normals.is_none())
        arrays.normals = valuesOf(normalRows);
    std::vector<double> derived;
    InputArray<double> icRows;
    if (py::isinstance<py::str>(ic)) {
        const CoreIo::InitialCoordinateSource source = referenceForm(ic.cast<std::string>());
        derived = referenceCoordinates(arrays.referencePoints.empty() ? arrays.points : arrays.referencePoints, source);
        arrays.initialCoordinates = derived;
        arrays.wrapsAround = source.kind == CoreIo::InitialCoordinateSource::Kind::ReferenceCylinder;
    } else {
        icRows = inputArray<double>(ic, "initial_coordinates", 2);
        arrays.initialCoordinates = valuesOf(icRows);
    }
    for (std::size_t k = 0; k < cells.size(); ++k)
        arrays.blocks.push_back(cellBlock(cells[k], k));
    arrays.nodeIds = idsOf(nodeIds, "node_ids");
    arrays.elementIds = idsOf(elementIds, "element_ids");
    const auto numPoints = static_cast<std::size_t>(pointRows.shape(0));
    if (!pointData.is_none())
        for (const auto& [name, values] : pointData.cast<py::dict>())
            arrays.nodalFields.push_back(fieldOf(py::str(name).cast<std::string>(), values, numPoints, "point"));
    if (!cellData.is_none())
        arrays.elementFields = elementFieldsOf(cellData.cast<py::dict>(), arrays.blocks);
    return withoutGil([&] { return std::make_shared<Body>(CoreIoAlign::makeBody(arrays)); });
}

std::shared_ptr<Body> triangleBody(const py::handle& points, const py::handle& triangles, const py::handle& ic,
                                   const py::object& normals)
{
    const auto triangleRows = inputArray<std::int64_t>(triangles, "triangles", 3);
    py::list cells;
    cells.append(py::make_tuple("triangle", triangleRows));
    try {
        return bodyFromCells(points, cells, ic, py::none(), py::none(), py::none(), py::none(), normals, py::none());
    } catch (const InputError& error) {
        std::string message = error.what();
        const std::string label = "cells[0] (triangle)";
        if (message.rfind(label, 0) == 0)
            message.replace(0, label.size(), "triangles");
        throw InputError(message);
    }
}

py::array_t<double> rowsOf(const std::vector<double>& values, std::size_t columns)
{
    return ownedArray(std::vector<double>(values), columns);
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

py::object fieldArray(const BodyField& field)
{
    return rowsOf(field.values, field.components == 1 ? 0 : field.components);
}

py::dict fieldsOf(const std::vector<BodyField>& fields)
{
    py::dict dictionary;
    for (const BodyField& field : fields)
        dictionary[py::str(field.name)] = fieldArray(field);
    return dictionary;
}

// Values per element, split into one array per cell block, as meshio's cell_data holds them.
py::list perBlock(const py::array& values, const Body& body)
{
    py::list arrays;
    py::ssize_t first = 0;
    for (const CoreIoAlign::BodyBlock& block : body.blocks) {
        const auto count = static_cast<py::ssize_t>(block.numElements());
        arrays.append(values[py::slice(first, first + count, 1)]);
        first += count;
    }
    return arrays;
}

py::list cellsOf(const Body& body)
{
    py::list cells;
    for (const CoreIoAlign::BodyBlock& block : body.blocks) {
        std::vector<std::int64_t> connectivity(block.connectivity.begin(), block.connectivity.end());
        cells.append(
            py::make_tuple(CoreIoAlign::cellTypeName(block),
                           ownedArray(std::move(connectivity), static_cast<std::size_t>(block.nodesPerElement))));
    }
    return cells;
}

std::shared_ptr<Alignment> align(std::shared_ptr<Body> before, std::shared_ptr<Body> after, const py::object& tube,
                                 bool complete)
{
    const CoreIoAlign::TubeMode mode = tubeMode(tube);
    auto result = std::make_shared<Alignment>();
    result->before = std::move(before);
    result->after = std::move(after);
    return withoutGil([&] {
        result->alignment = CoreIoAlign::alignBodies(*result->before, *result->after, mode, complete);
        return result;
    });
}

const CoreIoAlign::AlignedFields& allFields(Alignment& result)
{
    std::call_once(result.fieldsMade, [&] {
        result.fields = CoreIoAlign::alignedFields(*result.before, *result.after, result.alignment);
    });
    return result.fields;
}

// The rows a field is given in, checked against the count of the body's items it belongs to.
InputArray<double> fieldRows(const py::handle& values, std::size_t expectedRows, const std::string& items)
{
    auto rows = inputArray<double>(values, "values", -1);
    if (static_cast<std::size_t>(rows.shape(0)) != expectedRows)
        throw InputError("values has " + std::to_string(rows.shape(0)) + " rows but the before body has " +
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

py::array_t<double> mapNodal(const Alignment& result, const py::handle& values)
{
    const auto rows = fieldRows(values, result.before->numVertices(), "vertices");
    std::vector<double> mapped = withoutGil(
        [&] { return CoreIoAlign::transferNodalValues(result.alignment.locations, valuesOf(rows), columnsOf(rows)); });
    return shapedLike(std::move(mapped), rows);
}

py::array_t<double> mapElement(Alignment& result, const py::handle& values)
{
    const auto rows = fieldRows(values, result.before->numElements(), "elements");
    std::vector<double> mapped = withoutGil([&] {
        std::call_once(result.elementsLocated, [&] {
            result.afterElements = CoreIoAlign::locateAfterElements(result.alignment, *result.after);
        });
        return CoreIoAlign::transferElementValues(result.afterElements, result.before->elementOfTriangle,
                                                  valuesOf(rows), columnsOf(rows));
    });
    return shapedLike(std::move(mapped), rows);
}

py::dict countsOf(const std::array<std::size_t, 4>& counts)
{
    py::dict byStatus;
    const char* names[] = {"coincident", "inside", "near", "outside"};
    for (std::size_t k = 0; k < counts.size(); ++k)
        byStatus[names[k]] = counts[k];
    return byStatus;
}

py::dict summaryOf(const CoreIoAlign::AlignmentReport& report)
{
    py::dict summary;
    summary["coverage"] = report.coverage;
    summary["counts"] = countsOf(report.statusCounts);
    summary["tube"] = report.tube;
    summary["biggest_square_error"] = report.biggestSquareError;
    summary["completed"] = report.completed;
    summary["completion_left_outside"] = report.completionLeftOutside;
    summary["rounding_bound"] = report.roundingBound;
    summary["mean_edge_length"] = report.meanEdgeLength;
    summary["displacement"] = py::dict(py::arg("max") = report.displacement.max,
                                       py::arg("mean") = report.displacement.mean,
                                       py::arg("rms") = report.displacement.rms,
                                       py::arg("vertices") = report.displacement.vertices);
    py::dict times;
    for (const CoreIoAlign::PhaseTime& phase : report.phases)
        times[py::str(phase.name)] = phase.seconds;
    summary["times"] = times;
    summary["written"] = report.writtenFiles;
    return summary;
}

// A field as the front ends show it: status as small integers, node ids exact.
py::object shownField(const BodyField& field)
{
    if (field.name == "MATCH_STATUS")
        return fieldArray(field).attr("astype")("int32");
    if (field.name == "MATCHED_NODE_ID")
        return fieldArray(field).attr("astype")("int64");
    return fieldArray(field);
}

py::object outputFields(Alignment& result, const py::object& map)
{
    const CoreIoAlign::VariableChoice choice = variableChoice(map, "map");
    const CoreIoAlign::AlignedFields fields = withoutGil(
        [&] { return CoreIoAlign::alignedFields(*result.before, *result.after, result.alignment, choice); });
    py::dict pointData;
    for (const BodyField& field : fields.nodal)
        pointData[py::str(field.name)] = shownField(field);
    py::dict cellData;
    for (const BodyField& field : fields.element)
        cellData[py::str(field.name)] = perBlock(fieldArray(field), *result.after);
    const CoreIoAlign::AlignmentReport report = CoreIoAlign::describeAlignment(
        *result.before, *result.after, result.alignment, CoreIoAlign::displacementFigures(fields, result.alignment));
    const py::object namespaceType = py::module_::import("types").attr("SimpleNamespace");
    return namespaceType(py::arg("point_data") = pointData, py::arg("cell_data") = cellData,
                         py::arg("aligned_points") = rowsOf(fields.alignedPositions, 3),
                         py::arg("summary") = summaryOf(report));
}

// A view of one member of every after vertex's location, kept alive by the result.
template <typename T>
py::array_t<T> locationMember(const py::object& self, std::size_t offset, std::vector<py::ssize_t> shape)
{
    const auto& locations = self.cast<const Alignment&>().alignment.locations;
    std::vector<py::ssize_t> strides{sizeof(Calvora::VertexLocation)};
    if (!shape.empty())
        strides.push_back(sizeof(T));
    shape.insert(shape.begin(), static_cast<py::ssize_t>(locations.size()));
    const auto* first = reinterpret_cast<const char*>(locations.data()) + offset;
    return memberView<T>(first, std::move(shape), std::move(strides), self);
}

py::array_t<int> matchingView(const py::object& self)
{
    const std::vector<int>& matching = *self.cast<const Alignment&>().alignment.result.vertexMatching;
    return memberView<int>(matching.data(), {static_cast<py::ssize_t>(matching.size())}, {sizeof(int)}, self);
}

py::dict alignFiles(const py::object& before, const py::object& after, const py::object& output, const py::object& png,
                    const py::object& body, const py::object& beforeBody, const py::object& afterBody,
                    const py::object& step, const py::object& beforeStep, const py::object& afterStep,
                    const std::string& displacement, const py::object& ic, const py::object& tube, bool complete,
                    const py::object& map, double minCoverage)
{
    CoreIoAlign::JobOptions job;
    job.beforeFile = pathText(before);
    job.afterFile = pathText(after);
    job.output = optionalPath(output);
    job.picture = optionalPath(png);
    if (!body.is_none() && (!beforeBody.is_none() || !afterBody.is_none()))
        throw std::invalid_argument("body cannot be combined with before_body or after_body");
    job.before = bodyOptions(body.is_none() ? beforeBody : body, beforeStep.is_none() ? step : beforeStep, ic,
                             displacement);
    job.after = bodyOptions(body.is_none() ? afterBody : body, afterStep.is_none() ? step : afterStep, ic,
                            displacement);
    job.tube = tubeMode(tube);
    job.complete = complete;
    if (!(minCoverage >= 0.0 && minCoverage <= 1.0))
        throw std::invalid_argument("min_coverage must lie between 0 and 1");
    job.minCoverage = minCoverage;
    job.mappedVariables = variableChoice(map, "map");
    job.commandLine = CoreIoAlign::argumentsOf(job);
    const CoreIoAlign::JobOutcome outcome = withoutGil([&] { return CoreIoAlign::runAlignmentJob(job); });
    py::dict result;
    result["exit_code"] = outcome.exitCode;
    result["message"] = outcome.message;
    result["notes"] = outcome.notes;
    if (outcome.report) {
        result["summary"] = summaryOf(*outcome.report);
        std::ostringstream text;
        CoreIoAlign::printReport(text, *outcome.report);
        result["report"] = text.str();
    } else {
        result["summary"] = py::none();
        result["report"] = "";
    }
    return result;
}

py::array_t<double> referenceInitialCoordinates(const py::handle& points, const std::string& form)
{
    const auto rows = inputArray<double>(points, "points", 3);
    return ownedArray(referenceCoordinates(valuesOf(rows), referenceForm(form)), 2);
}

std::string listingText(const FileListing& file)
{
    std::ostringstream text;
    CoreIoAlign::printListing(text, file.path, file.listing);
    return text.str();
}

void translateExceptions(py::module_& module)
{
    static const py::exception<InputError> inputError(module, "InputError", PyExc_ValueError);
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown)
                std::rethrow_exception(thrown);
        } catch (const CoreIo::LoadError& error) {
            PyErr_SetString(inputError.ptr(), error.what());
        } catch (const InputError& error) {
            PyErr_SetString(inputError.ptr(), error.what());
        } catch (const CoreIoAlign::UsageError& error) {
            PyErr_SetString(PyExc_ValueError, error.what());
        }
    });
}

}  // namespace
}  // namespace CoreIoPython

PYBIND11_MODULE(_coreio, module)
{
    using namespace CoreIoPython;
    module.doc() = "Bodies, their alignment through initial (material) coordinates and the fields it gives.";
    translateExceptions(module);
    warningCategory = py::reinterpret_steal<py::object>(
        PyErr_NewExceptionWithDoc("coreio.CoreIoWarning", "A reader's warning about its input (a block skipped, ...).",
                                  PyExc_UserWarning, nullptr));
    module.attr("CoreIoWarning") = warningCategory;
    // The readers' warnings and the alignment's decisions arrive through their results.
    static const CoreIoAlign::ToolLog log(false);
    module.attr("COINCIDENT") = static_cast<int>(Calvora::MatchStatus::Coincident);
    module.attr("INSIDE") = static_cast<int>(Calvora::MatchStatus::Inside);
    module.attr("NEAR") = static_cast<int>(Calvora::MatchStatus::Near);
    module.attr("OUTSIDE") = static_cast<int>(Calvora::MatchStatus::Outside);
    module.attr("CELL_TYPES") = CoreIoAlign::knownCellTypes();
    module.attr("EXIT_DONE") = CoreIoAlign::exitDone;
    module.attr("EXIT_BAD_INPUT") = CoreIoAlign::exitBadInput;
    module.attr("EXIT_BAD_USAGE") = CoreIoAlign::exitBadUsage;
    module.attr("EXIT_BELOW_COVERAGE") = CoreIoAlign::exitBelowCoverage;

    py::class_<Body, std::shared_ptr<Body>>(module, "Body", R"(A body with two initial (material) coordinates per point.

Body(points, triangles, initial_coordinates, normals=None): a body of triangles
- points: n x 3 floats; triangles: m x 3 integers, point rows from 0; initial_coordinates: n x 2
- normals: n x 3 floats; None: computed from the triangles, weighted by area
Raises InputError (a ValueError) naming the array and its first bad row: wrong shape, a value that
is not finite, a triangle naming a point that does not exist, row counts that differ. The body
keeps its own copy; the GIL is released while it is made. See also body_from_cells, read_body
and from_meshio.)")
        .def(py::init(&triangleBody), py::arg("points"), py::arg("triangles"), py::arg("initial_coordinates"),
             py::arg("normals") = py::none())
        .def_property_readonly(
            "points", [](const Body& body) { return rowsOf(body.positions, 3); },
            "n x 3 float64 in the input's precision and coordinates (a new array each time)")
        .def_property_readonly(
            "initial_coordinates", [](const Body& body) { return rowsOf(body.initialCoordinates, 2); },
            "n x 2 float64 as the input holds them (the library works with them rounded to float32)")
        .def_property_readonly(
            "triangles", [](const Body& body) { return trianglesOf(*body.record.mesh); },
            "m x 3 int64: the triangles the cells are cut into (a new array each time)")
        .def_property_readonly(
            "elements",
            [](const Body& body) {
                return ownedArray(std::vector<std::int64_t>(body.elementOfTriangle.begin(),
                                                            body.elementOfTriangle.end()),
                                  0);
            },
            "m int64: the cell (element) each triangle is cut from, cells numbered block after block")
        .def_property_readonly("num_elements", &Body::numElements, "the number of cells (elements)")
        .def_property_readonly("cells", &cellsOf, "[(type, k x nodes int64 point rows)] per block, meshio's type names")
        .def_property_readonly(
            "node_ids", [](const Body& body) { return ownedArray(std::vector(body.nodeIds), 0); },
            "n int64: the file's node numbers (1 .. n for a body made from arrays)")
        .def_property_readonly(
            "element_ids", [](const Body& body) { return ownedArray(std::vector(body.elementIds), 0); },
            "int64, one per element: the file's element numbers; empty when the input numbers none")
        .def_property_readonly(
            "nodal_fields", [](const Body& body) { return fieldsOf(body.nodalFields); },
            "{name: n or n x k float64}: the file's nodal variables at the body's step (those read_body was asked "
            "for), or the point_data given")
        .def_property_readonly(
            "element_fields", [](const Body& body) { return fieldsOf(body.elementFields); },
            "{name: one value (row) per element}: the file's element variables at the body's step, NaN where a "
            "block lacks one, or the cell_data given")
        .def_property_readonly(
            "step", [](const Body& body) { return body.summary.step; }, "the step read, from 1; 0 for arrays")
        .def_property_readonly(
            "time", [](const Body& body) { return body.summary.time; }, "the time of that step");

    py::class_<Alignment, std::shared_ptr<Alignment>>(module, "AlignmentResult",
                                                      R"(Where each vertex of the after body lies in the before body.

The arrays matching, status, triangle and weights are read-only views of the result's own data,
made without copies; they keep the result alive. Other arrays are new each time.)")
        .def_property_readonly("matching", &matchingView,
                               "n_after int32: the before vertex matched to each after vertex (the library's "
                               "matching); -1 where none was found and complete was False")
        .def_property_readonly(
            "aligned_points", [](Alignment& result) { return rowsOf(allFields(result).alignedPositions, 3); },
            "n_after x 3 float64: the before body's shape at the after body's material points (own point where "
            "OUTSIDE)")
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
            "tube", [](const Alignment& a) { return a.alignment.tube; }, "whether the bodies were aligned as a tube")
        .def_property_readonly(
            "biggest_square_error", [](const Alignment& a) { return a.alignment.biggestSquareError; },
            "the largest squared distance of a NEAR vertex to the before body")
        .def_property_readonly(
            "coverage", [](const Alignment& a) { return a.alignment.coverage(); },
            "share of the after vertices that are not OUTSIDE; 1.0 when none is")
        .def_property_readonly(
            "counts", [](const Alignment& a) { return countsOf(a.alignment.statusCounts); },
            "{coincident, inside, near, outside}: after vertices by status")
        .def_property_readonly(
            "completed", [](const Alignment& a) { return a.alignment.completed; },
            "after vertices matched to the nearest corner of their before triangle (complete=True)")
        .def_property_readonly(
            "rounding_bound", [](const Alignment& a) { return a.alignment.roundingBound; },
            "the largest position error that rounding material coordinates to float32 can cause")
        .def_property_readonly("before", [](const Alignment& a) { return a.before; })
        .def_property_readonly("after", [](const Alignment& a) { return a.after; })
        .def("map_nodal", &mapNodal, py::arg("values"), R"(Nodal values of the before body at the after vertices.

values: n_before or n_before x k numbers. Returns n_after or n_after x k float64: the barycentric mix
of the corners for COINCIDENT and INSIDE, the corner of the largest weight for NEAR, NaN for OUTSIDE.
Raises InputError when the rows are not one per before vertex. Releases the GIL.)")
        .def("map_element", &mapElement, py::arg("values"), R"(Element values of the before body at the after elements.

values: one row per before element (cell), cells block after block. Returns one row per after
element, in the order of after.cells: the row of the before element that holds the after element's
centroid in material coordinates, NaN where it lies outside. Releases the GIL.)")
        .def("output_fields", &outputFields, py::arg("map") = "all",
             R"(Everything coreio-align -o writes, as arrays.

map: "all", "none" or names of the before body's fields to carry as BEFORE_<NAME>.
Returns a namespace with
- point_data: {DISPL_X, DISPL_Y, DISPL_Z, DISPL_MAG (NaN where OUTSIDE), INITIALCOORD0,
  INITIALCOORD1, MATCH_STATUS (int32), MATCHED_NODE_ID (int64 node ids; 0 where OUTSIDE),
  BEFORE_<NAME>...}, one row per after point
- cell_data: {BEFORE_<NAME>: [one array per after cell block]}
- aligned_points: n_after x 3
- summary: coverage, counts, tube, biggest_square_error, completed, displacement, ...)");

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
        [](const py::object& path) {
            const std::string file = pathText(path);
            return withoutGil([&] { return FileListing{file, CoreIo::listExodusFile(file)}; });
        },
        py::arg("path"),
        "Describes an Exodus II file: blocks, variables, steps. Raises InputError when it cannot be read.");
    module.def("read_body", &readBody, py::arg("path"), py::arg("body") = py::none(), py::arg("step") = "last",
               py::arg("ic") = py::none(), py::arg("displacement") = "auto", py::arg("fields") = "all",
               R"(Reads one body from an Exodus II file, with the choices of coreio-align.

- path: str or os.PathLike
- body: None (every surface block), a block name, a block id, "NAME,7" or a list of names and ids
- step: "last" (the last step whose fields are written) or a step number from 1
- ic: None ("INITIALCOORD0,INITIALCOORD1"), two variable names ("A,B" or a pair), "reference-xy|yz|zx"
  or "reference-cylinder-x|y|z"
- displacement: "auto", "none" or the stem of a nodal triple ("DISP" for DISP_X, DISP_Y, DISP_Z)
- fields: the file's variables to bring along as nodal_fields and element_fields: "all", "none" or names
Raises ValueError for a malformed choice and InputError (a ValueError) for a file that cannot be
read or lacks what was chosen, with the messages of coreio-align. The readers' warnings become
coreio.CoreIoWarning warnings. Releases the GIL; threads may read files at once.)");
    module.def("body_from_cells", &bodyFromCells, py::arg("points"), py::arg("cells"), py::arg("initial_coordinates"),
               py::arg("point_data") = py::none(), py::arg("cell_data") = py::none(), py::arg("node_ids") = py::none(),
               py::arg("element_ids") = py::none(), py::arg("normals") = py::none(),
               py::arg("reference_points") = py::none(),
               R"(A body of cells, cut into triangles as coreio-align cuts a file's elements.

- points: n x 3, the shape; reference_points: n x 3, the reference shape (the points less their
  displacement), whose shorter diagonals cut quadrilaterals as a file reader cuts them; None: points
- initial_coordinates: n x 2, or a reference form "reference-xy|yz|zx" (the reference points
  projected on the plane) or "reference-cylinder-x|y|z" (R * angle around the axis through the
  centroid, and the axial position: the body is then a tube)
- cells: [(type, k x nodes point rows)] or meshio CellBlocks; types as coreio.CELL_TYPES lists
  (triangle, triangle6, triangle7, quad, quad8, quad9)
- point_data: {name: n or n x c}; cell_data: {name: [one array per cell block]}: the body's fields
- node_ids (n), element_ids (one per cell): the input's numbers, carried to MATCHED_NODE_ID
Raises InputError naming the array and its first bad row.)");
    module.def("align", &align, py::arg("before"), py::arg("after"), py::arg("tube") = "auto",
               py::arg("complete") = false, R"(Aligns after with before through their initial coordinates.

- tube: "auto" (decided from the data), "yes"/True or "no"/False
- complete: give every after vertex a matching vertex, through the nearest corner of its triangle
Returns an AlignmentResult. Raises InputError for bodies that cannot be aligned (initial coordinates
not finite or without area, a material plane that folds over, no triangles, no matching). Releases
the GIL, so Python threads can align several pairs at once.)");
    module.def("align_files", &alignFiles, py::arg("before"), py::arg("after"), py::arg("output") = py::none(),
               py::arg("png") = py::none(), py::arg("body") = py::none(), py::arg("before_body") = py::none(),
               py::arg("after_body") = py::none(), py::arg("step") = "last", py::arg("before_step") = py::none(),
               py::arg("after_step") = py::none(), py::arg("displacement") = "auto", py::arg("ic") = py::none(),
               py::arg("tube") = "auto", py::arg("complete") = false, py::arg("map") = "all",
               py::arg("min_coverage") = 1.0, R"(The whole job of coreio-align BEFORE AFTER -o OUTPUT --png PNG ...

Options as coreio-align's, with underscores. Writes what coreio-align writes and returns a dict:
exit_code (coreio.EXIT_DONE, EXIT_BAD_INPUT, EXIT_BAD_USAGE or EXIT_BELOW_COVERAGE: coreio-align's
0, 1, 2 and 3), message (why it failed or fell
short), notes (the readers' warnings), summary (as AlignmentResult.output_fields' summary, with
times and the files written; None when it failed before aligning) and report (coreio-align's
printed summary). Never raises for bad input: the exit code says it. Releases the GIL.)");
    module.def("reference_initial_coordinates", &referenceInitialCoordinates, py::arg("points"), py::arg("form"),
               R"(Initial coordinates from a reference shape, as --ic reference-... takes them.

form: "reference-xy|yz|zx" (the points projected on the plane) or "reference-cylinder-x|y|z"
(R * angle around the axis through the centroid, and the axial position). Returns n x 2.)");
}
