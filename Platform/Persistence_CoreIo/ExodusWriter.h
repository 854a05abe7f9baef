#pragma once
// Writes simulation bodies to a new Exodus II file: each body an element block of 3-node
// triangles named after it, node normals and results as nodal variables over time steps.
// The bodies' nodes follow each other in the file, so each block's nodes are contiguous.

#include "Persistence_CoreIo_export.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace CoreIo {

class ExodusFile;

class PERSISTENCE_COREIO_EXPORT ExodusWriter {
public:
    enum class Precision { Float, Double };  // how the file stores coordinates, times and values

    struct Body {
        std::vector<double> x, y, z;     // one coordinate per node, all finite
        std::vector<int> triangles;      // three of the body's 0-based node numbers per triangle; not empty
        std::vector<double> nx, ny, nz;  // empty, or one normal per node; all bodies or none have them
    };
    // One value array per body, in the order the bodies were added, one value per node.
    using StepValues = std::vector<std::vector<double>>;

    explicit ExodusWriter(std::string path, Precision precision = Precision::Float);
    ~ExodusWriter();

    // Each refuses input that does not fit with std::invalid_argument naming the body or variable,
    // and then leaves the writer as it was. Names are unique, 1 to 32 characters long;
    // NORMAL_X, NORMAL_Y and NORMAL_Z are kept for the normals. Every body comes before the
    // first variable (std::logic_error otherwise); the first variable or setTimes fixes the
    // number of steps.
    void addBody(const std::string& name, Body body);
    void addNodalVariable(const std::string& name, std::vector<StepValues> steps);
    void setTimes(std::vector<double> times);  // without it, step k has time k - 1

    // Writes a temporary file beside the target and renames it over the target, so that the
    // target is never seen half-written. Normals are stored at every step, at one step if the
    // file has no other. Failures throw std::runtime_error naming the file; the target is then
    // unchanged. Without bodies there is nothing to write: std::logic_error.
    void write() const;

private:
    struct Variable {
        std::string name;
        std::vector<StepValues> steps;
    };

    void requireStepCount(const std::string& what, std::size_t count) const;
    void writeContents(const ExodusFile& file) const;
    void writeBody(const ExodusFile& file, std::size_t index, std::int64_t firstNode) const;
    void writeSteps(const ExodusFile& file) const;

    std::string path_;
    Precision precision_;
    std::vector<std::string> bodyNames_;
    std::vector<Body> bodies_;
    std::vector<Variable> variables_;
    std::optional<std::size_t> numSteps_;
    std::vector<double> times_;  // empty: step k has time k - 1
};

}  // namespace CoreIo
