#include "ExodusWriter.h"

#include "ExodusFile.h"
#include "MakeRoomForOne.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace CoreIo {

namespace {

const std::array<std::string, 3> normalNames{"NORMAL_X", "NORMAL_Y", "NORMAL_Z"};
constexpr std::array<std::vector<double> ExodusWriter::Body::*, 3> normalComponents{&ExodusWriter::Body::nx,
                                                                                    &ExodusWriter::Body::ny,
                                                                                    &ExodusWriter::Body::nz};

bool hasNormals(const ExodusWriter::Body& body)
{
    return !body.nx.empty() || !body.ny.empty() || !body.nz.empty();
}

std::size_t countNodes(const std::vector<ExodusWriter::Body>& bodies)
{
    std::size_t count = 0;
    for (const ExodusWriter::Body& body : bodies) {
        count += body.x.size();
    }
    return count;
}

std::size_t countTriangles(const std::vector<ExodusWriter::Body>& bodies)
{
    std::size_t count = 0;
    for (const ExodusWriter::Body& body : bodies) {
        count += body.triangles.size() / 3;
    }
    return count;
}

void checkCoordinates(const std::string& prefix, const ExodusWriter::Body& body)
{
    const std::size_t numNodes = body.x.size();
    if (body.y.size() != numNodes || body.z.size() != numNodes) {
        throw std::invalid_argument(prefix + "x, y and z hold " + std::to_string(numNodes) + ", " +
                                    std::to_string(body.y.size()) + " and " + std::to_string(body.z.size()) +
                                    " values; they need one per node");
    }
    for (std::size_t i = 0; i < numNodes; ++i) {
        if (!std::isfinite(body.x[i]) || !std::isfinite(body.y[i]) || !std::isfinite(body.z[i])) {
            throw std::invalid_argument(prefix + "node " + std::to_string(i) + " has a non-finite coordinate");
        }
    }
}

void checkTriangles(const std::string& prefix, const ExodusWriter::Body& body)
{
    if (body.triangles.empty()) {
        throw std::invalid_argument(prefix + "has no triangles; the file could not tell its block's element type");
    }
    if (body.triangles.size() % 3 != 0) {
        throw std::invalid_argument(prefix + "triangles holds " + std::to_string(body.triangles.size()) +
                                    " node numbers, not three per triangle");
    }
    const auto numNodes = static_cast<std::int64_t>(body.x.size());
    for (std::size_t k = 0; k < body.triangles.size(); ++k) {
        if (body.triangles[k] < 0 || body.triangles[k] >= numNodes) {
            throw std::invalid_argument(prefix + "triangle " + std::to_string(k / 3) + " refers to node " +
                                        std::to_string(body.triangles[k]) + ", outside 0 to " +
                                        std::to_string(numNodes - 1));
        }
    }
}

void checkNormals(const std::string& prefix, const ExodusWriter::Body& body, std::optional<bool> expected)
{
    const std::size_t numNodes = body.x.size();
    const bool present = hasNormals(body);
    if (present && (body.nx.size() != numNodes || body.ny.size() != numNodes || body.nz.size() != numNodes)) {
        throw std::invalid_argument(prefix + "nx, ny and nz hold " + std::to_string(body.nx.size()) + ", " +
                                    std::to_string(body.ny.size()) + " and " + std::to_string(body.nz.size()) +
                                    " values; they need none or one per node");
    }
    if (expected && *expected != present) {
        throw std::invalid_argument(prefix + (present ? "has normals, the bodies before it have none"
                                                      : "has no normals, the bodies before it have them"));
    }
}

void requireValidName(const std::string& kind, const std::string& name, bool taken)
{
    if (name.empty() || name.size() > exodusMaxNameLength) {
        throw std::invalid_argument(kind + " " + inQuotes(name) + ": a name needs 1 to " +
                                    std::to_string(exodusMaxNameLength) + " characters");
    }
    if (taken) {
        throw std::invalid_argument(kind + " " + inQuotes(name) + ": the name is taken");
    }
}

}  // namespace

ExodusWriter::ExodusWriter(std::string path, Precision precision) : path_(std::move(path)), precision_(precision)
{
}

ExodusWriter::~ExodusWriter() = default;

void ExodusWriter::requireStepCount(const std::string& what, std::size_t count) const
{
    if (count == 0 || count > INT_MAX || (numSteps_ && *numSteps_ != count)) {
        throw std::invalid_argument(what + " cover " + std::to_string(count) + " steps, but " +
                                    (numSteps_ ? "the file has " + std::to_string(*numSteps_)
                                               : std::string("a file needs 1 to ") + std::to_string(INT_MAX)));
    }
}

void ExodusWriter::addBody(const std::string& name, Body body)
{
    if (!variables_.empty()) {
        throw std::logic_error("body " + inQuotes(name) + ": every body must come before the first nodal variable");
    }
    requireValidName("body", name, std::find(bodyNames_.begin(), bodyNames_.end(), name) != bodyNames_.end());
    const std::string prefix = "body " + inQuotes(name) + ": ";
    checkCoordinates(prefix, body);
    checkTriangles(prefix, body);
    checkNormals(prefix, body, bodies_.empty() ? std::nullopt : std::optional<bool>(hasNormals(bodies_.front())));
    if (countNodes(bodies_) + body.x.size() > INT_MAX ||
        countTriangles(bodies_) + body.triangles.size() / 3 > INT_MAX) {
        throw std::invalid_argument(prefix + "the file would hold more than " + std::to_string(INT_MAX) +
                                    " nodes or triangles");
    }
    std::string storedName = name;
    makeRoomForOne(bodyNames_);
    makeRoomForOne(bodies_);
    bodyNames_.push_back(std::move(storedName));
    bodies_.push_back(std::move(body));
}

void ExodusWriter::addNodalVariable(const std::string& name, std::vector<StepValues> steps)
{
    const bool taken = std::any_of(variables_.begin(), variables_.end(),
                                   [&](const Variable& v) { return v.name == name; }) ||
                       std::find(normalNames.begin(), normalNames.end(), name) != normalNames.end();
    requireValidName("nodal variable", name, taken);
    const std::string what = "nodal variable " + inQuotes(name);
    if (bodies_.empty()) {
        throw std::logic_error(what + ": add the bodies first");
    }
    requireStepCount(what + ": the values", steps.size());
    for (std::size_t s = 0; s < steps.size(); ++s) {
        if (steps[s].size() != bodies_.size()) {
            throw std::invalid_argument(what + ": step " + std::to_string(s + 1) + " holds " +
                                        std::to_string(steps[s].size()) + " arrays for " +
                                        std::to_string(bodies_.size()) + " bodies");
        }
        for (std::size_t b = 0; b < bodies_.size(); ++b) {
            if (steps[s][b].size() != bodies_[b].x.size()) {
                throw std::invalid_argument(what + ": step " + std::to_string(s + 1) + " holds " +
                                            std::to_string(steps[s][b].size()) + " values for body " +
                                            inQuotes(bodyNames_[b]) + " of " + std::to_string(bodies_[b].x.size()) +
                                            " nodes");
            }
        }
    }
    Variable variable{name, std::move(steps)};
    makeRoomForOne(variables_);
    numSteps_ = variable.steps.size();
    variables_.push_back(std::move(variable));
}

void ExodusWriter::setTimes(std::vector<double> times)
{
    requireStepCount("the times", times.size());
    numSteps_ = times.size();
    times_ = std::move(times);
}

void ExodusWriter::write() const
{
    if (bodies_.empty()) {
        throw std::logic_error(aboutFile(path_, "add a body before writing"));
    }
    writeExodusMesh(path_, toMesh(), precision_);
}

// The bodies' nodes one after the other; normals and variables are nodal variables in that order.
ExodusMesh ExodusWriter::toMesh() const
{
    ExodusMesh mesh;
    int firstNode = 0;
    for (std::size_t b = 0; b < bodies_.size(); ++b) {
        const Body& body = bodies_[b];
        mesh.x.insert(mesh.x.end(), body.x.begin(), body.x.end());
        mesh.y.insert(mesh.y.end(), body.y.begin(), body.y.end());
        mesh.z.insert(mesh.z.end(), body.z.begin(), body.z.end());
        ExodusMesh::Block block{static_cast<int>(b) + 1, bodyNames_[b], "TRI3", 3, body.triangles};
        for (int& node : block.connectivity) {
            node += firstNode;
        }
        mesh.blocks.push_back(std::move(block));
        firstNode += static_cast<int>(body.x.size());
    }

    const bool withNormals = hasNormals(bodies_.front());
    const std::size_t numSteps = numSteps_.value_or(withNormals ? 1 : 0);
    for (std::size_t s = 0; s < numSteps; ++s) {
        mesh.times.push_back(times_.empty() ? static_cast<double>(s) : times_[s]);
    }
    const auto concatenated = [&](auto valuesOfBody) {
        std::vector<double> values;
        values.reserve(mesh.x.size());
        for (std::size_t b = 0; b < bodies_.size(); ++b) {
            const std::vector<double>& part = valuesOfBody(b);
            values.insert(values.end(), part.begin(), part.end());
        }
        return values;
    };
    if (withNormals) {
        for (std::size_t c = 0; c < 3; ++c) {
            const std::vector<double> normals = concatenated(
                [&](std::size_t b) -> const std::vector<double>& { return bodies_[b].*normalComponents[c]; });
            mesh.nodalVariables.push_back({normalNames[c], std::vector<std::vector<double>>(numSteps, normals)});
        }
    }
    for (const Variable& variable : variables_) {
        ExodusMesh::NodalVariable& stored = mesh.nodalVariables.emplace_back();
        stored.name = variable.name;
        for (std::size_t s = 0; s < numSteps; ++s) {
            stored.steps.push_back(
                concatenated([&](std::size_t b) -> const std::vector<double>& { return variable.steps[s][b]; }));
        }
    }
    return mesh;
}

}  // namespace CoreIo
