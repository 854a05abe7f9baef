#include "ExodusWriter.h"

#include "ExodusFile.h"
#include "MakeRoomForOne.h"

#include <exodusII.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace CoreIo {

namespace {

const std::array<std::string, 3> normalNames{"NORMAL_X", "NORMAL_Y", "NORMAL_Z"};
constexpr std::array<std::vector<double> ExodusWriter::Body::*, 3> normalComponents{
    &ExodusWriter::Body::nx, &ExodusWriter::Body::ny, &ExodusWriter::Body::nz};
constexpr int temporaryNameAttempts = 16;

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
    if (name.empty() || name.size() > MAX_NAME_LENGTH) {
        throw std::invalid_argument(kind + " " + inQuotes(name) + ": a name needs 1 to " +
                                    std::to_string(MAX_NAME_LENGTH) + " characters");
    }
    if (taken) {
        throw std::invalid_argument(kind + " " + inQuotes(name) + ": the name is taken");
    }
}

// Beside the target, so that the rename stays within one file system; the leading dot hides it.
std::string temporaryPathBeside(const std::string& path)
{
    static std::mt19937_64 generator{std::random_device{}()};
    const std::filesystem::path target(path);
    std::string name(1, '.');
    for (const std::string& part : {target.filename().string(), std::to_string(getpid()),
                                    std::to_string(generator())}) {
        name += part;
        name += '.';
    }
    name += "tmp";
    return (target.parent_path() / name).string();
}

// Owns a temporary file until it takes the target's place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile()
    {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
        }
    }

    void replace(const std::string& target)
    {
        std::error_code error;
        std::filesystem::rename(path_, target, error);
        if (error) {
            throw std::runtime_error(aboutFile(target, "cannot be replaced by " + inQuotes(path_) +
                                                           ", the file written for it: " + error.message()));
        }
        path_.clear();
    }

private:
    std::string path_;
};

// The library takes names as an array of writable C strings.
void putNames(const ExodusFile& file, std::vector<std::string> names, ex_entity_type type, const std::string& what)
{
    std::vector<char*> pointers;
    pointers.reserve(names.size());
    for (std::string& name : names) {
        pointers.push_back(name.data());
    }
    const int status = type == EX_NODAL
                           ? ex_put_variable_names(file.id(), EX_NODAL, static_cast<int>(names.size()),
                                                   pointers.data())
                           : ex_put_names(file.id(), type, pointers.data());
    file.check(status, "cannot write the names of its " + what);
}

// One nodal variable at one step: the values of each body at its nodes, which follow each other.
template <typename ValuesOf>
void putStep(const ExodusFile& file, const std::vector<ExodusWriter::Body>& bodies, int step, int index,
             const std::string& name, ValuesOf valuesOf)
{
    std::int64_t firstNode = 1;
    for (std::size_t b = 0; b < bodies.size(); ++b) {
        const std::vector<double>& values = valuesOf(b);
        file.check(ex_put_partial_var(file.id(), step, EX_NODAL, index, 1, firstNode,
                                      static_cast<std::int64_t>(values.size()), values.data()),
                   "cannot write nodal variable " + inQuotes(name) + " at step " + std::to_string(step));
        firstNode += static_cast<std::int64_t>(bodies[b].x.size());
    }
}

}  // namespace

ExodusWriter::ExodusWriter(std::string path, Precision precision)
    : path_(std::move(path)), precision_(precision)
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
    const bool taken =
        std::any_of(variables_.begin(), variables_.end(), [&](const Variable& v) { return v.name == name; }) ||
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
    const int storedWordSize = precision_ == Precision::Double ? 8 : 4;
    for (int attempt = 0; attempt < temporaryNameAttempts; ++attempt) {
        const std::string temporaryPath = temporaryPathBeside(path_);
        std::optional<ExodusFile> file = ExodusFile::createNew(temporaryPath, storedWordSize);
        if (!file) {
            continue;
        }
        TemporaryFile temporary(temporaryPath);
        writeContents(*file);
        file->close();
        temporary.replace(path_);
        return;
    }
    throw std::runtime_error(aboutFile(path_, "found no free name for a temporary file beside it"));
}

void ExodusWriter::writeContents(const ExodusFile& file) const
{
    const int id = file.id();
    file.check(ex_put_init(id, "", 3, static_cast<std::int64_t>(countNodes(bodies_)),
                           static_cast<std::int64_t>(countTriangles(bodies_)),
                           static_cast<std::int64_t>(bodies_.size()), 0, 0),
               "cannot write its dimensions");
    std::int64_t firstNode = 1;
    for (std::size_t b = 0; b < bodies_.size(); ++b) {
        writeBody(file, b, firstNode);
        firstNode += static_cast<std::int64_t>(bodies_[b].x.size());
    }
    putNames(file, bodyNames_, EX_ELEM_BLOCK, "element blocks");
    writeSteps(file);
}

// One element block, its id one more than its position, and the body's nodes from firstNode on.
void ExodusWriter::writeBody(const ExodusFile& file, std::size_t index, std::int64_t firstNode) const
{
    const Body& body = bodies_[index];
    const std::string what = "body " + inQuotes(bodyNames_[index]);
    file.check(ex_put_partial_coord(file.id(), firstNode, static_cast<std::int64_t>(body.x.size()), body.x.data(),
                                    body.y.data(), body.z.data()),
               "cannot write the coordinates of " + what);
    const auto blockId = static_cast<ex_entity_id>(index + 1);
    const auto numTriangles = static_cast<std::int64_t>(body.triangles.size() / 3);
    file.check(ex_put_block(file.id(), EX_ELEM_BLOCK, blockId, "TRI3", numTriangles, 3, 0, 0, 0),
               "cannot write the element block of " + what);
    std::vector<int> connectivity(body.triangles.size());
    const auto offset = static_cast<int>(firstNode);
    std::transform(body.triangles.begin(), body.triangles.end(), connectivity.begin(),
                   [offset](int node) { return node + offset; });
    file.check(ex_put_conn(file.id(), EX_ELEM_BLOCK, blockId, connectivity.data(), nullptr, nullptr),
               "cannot write the connectivity of " + what);
}

// Every step has a time; normals and variables are nodal variables in that order.
void ExodusWriter::writeSteps(const ExodusFile& file) const
{
    const bool withNormals = hasNormals(bodies_.front());
    std::vector<std::string> names;
    if (withNormals) {
        names.assign(normalNames.begin(), normalNames.end());
    }
    for (const Variable& variable : variables_) {
        names.push_back(variable.name);
    }
    if (!names.empty()) {
        file.check(ex_put_variable_param(file.id(), EX_NODAL, static_cast<int>(names.size())),
                   "cannot declare its nodal variables");
        putNames(file, names, EX_NODAL, "nodal variables");
    }

    const std::size_t numSteps = numSteps_.value_or(names.empty() ? 0 : 1);
    for (std::size_t s = 0; s < numSteps; ++s) {
        const int step = static_cast<int>(s) + 1;
        const double time = times_.empty() ? static_cast<double>(s) : times_[s];
        file.check(ex_put_time(file.id(), step, &time), "cannot write the time of step " + std::to_string(step));
        int index = 1;
        if (withNormals) {
            for (std::size_t c = 0; c < 3; ++c) {
                putStep(file, bodies_, step, index++, normalNames[c],
                        [&](std::size_t b) -> const std::vector<double>& { return bodies_[b].*normalComponents[c]; });
            }
        }
        for (const Variable& variable : variables_) {
            putStep(file, bodies_, step, index++, variable.name,
                    [&](std::size_t b) -> const std::vector<double>& { return variable.steps[s][b]; });
        }
    }
}

}  // namespace CoreIo
