#pragma once
// Writes new Exodus II files. writeExodusMesh stores a mesh as a file of any origin holds it:
// element blocks of any element type with their IDs and names, node and element number maps,
// nodal and element variables over time steps, a QA record and info records. ExodusWriter is
// the short way for triangle bodies: each body a block of TRI3 elements named after it, node
// normals and results as nodal variables; the bodies' nodes follow each other in the file.
// Both write atomically: a temporary file beside the target, renamed over it when complete.

#include "Persistence_CoreIo_export.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace CoreIo {

class ExodusFile;

enum class ExodusPrecision { Float, Double };  // how a file stores coordinates, times and values

// The longest name (block, variable) a file can hold; the file records the longest it holds, so
// readers get every name whole.
constexpr std::size_t exodusMaxNameLength = 256;

struct ExodusMesh {
    struct Block {
        std::int64_t id = 0;            // unique among the blocks: any value, 0 and negative ones too
        std::string name;               // empty or up to exodusMaxNameLength characters
        std::string elementType;  // TRI3, TRISHELL, SHELL4, QUAD4, TRI6, QUAD8, SHELL9, ...: 1 to 32 characters
        int nodesPerElement = 0;  // at least 1
        std::vector<int> connectivity;  // nodesPerElement 0-based node numbers per element, element after element

        std::size_t numElements() const
        {
            return nodesPerElement > 0 ? connectivity.size() / static_cast<std::size_t>(nodesPerElement) : 0;
        }
    };
    struct NodalVariable {
        std::string name;  // 1 to exodusMaxNameLength characters, unique
        std::vector<std::vector<double>> steps;  // per step, one value per node
    };
    struct ElementVariable {
        std::string name;  // 1 to exodusMaxNameLength characters, unique among element variables
        // steps[step][block]: one value per element of the block, or empty where the block lacks the
        // variable; the same blocks lack it at every step (the file's truth table).
        std::vector<std::vector<std::vector<double>>> steps;
    };
    struct QaRecord {
        std::string program, version, date, time;  // each up to 32 characters
    };

    std::string title;  // up to 80 characters
    std::vector<double> x, y, z;  // one coordinate per node, all finite
    std::vector<std::int64_t> nodeIds;  // empty, or the file's positive, unique ID of each node
    std::vector<Block> blocks;  // at least one
    std::vector<std::int64_t> elementIds;  // empty, or one positive, unique ID per element, blocks in order
    std::vector<double> times;  // one per step; each variable holds one array per step
    std::vector<NodalVariable> nodalVariables;
    std::vector<ElementVariable> elementVariables;
    std::optional<QaRecord> qa;
    std::vector<std::string> info;  // a line longer than 80 characters continues on the next records
};

// Writes the mesh to path, replacing what is there only once the whole file is written. Ids are
// written exactly: a file whose ids need more than 32 bits is a netCDF-4 file with 64-bit ids and
// maps, others the format with 64-bit offsets that every reader takes.
// Throws std::invalid_argument naming the part of the mesh that does not fit the contract above
// (nothing is written then), and std::runtime_error naming the path when the file cannot be
// written: its folder is missing or not writable, the path is a folder, a value exceeds the
// precision. The target is then unchanged.
PERSISTENCE_COREIO_EXPORT void writeExodusMesh(const std::string& path, const ExodusMesh& mesh,
                                               ExodusPrecision precision);

class PERSISTENCE_COREIO_EXPORT ExodusWriter {
public:
    using Precision = ExodusPrecision;

    struct Body {
        std::vector<double> x, y, z;  // one coordinate per node, all finite
        std::vector<int> triangles;  // three of the body's 0-based node numbers per triangle; not empty
        std::vector<double> nx, ny, nz;  // empty, or one normal per node; all bodies or none have them
    };
    // One value array per body, in the order the bodies were added, one value per node.
    using StepValues = std::vector<std::vector<double>>;

    explicit ExodusWriter(std::string path, Precision precision = Precision::Float);
    ~ExodusWriter();

    // Each refuses input that does not fit with std::invalid_argument naming the body or variable,
    // and then leaves the writer as it was. Names are unique, 1 to exodusMaxNameLength characters
    // long; NORMAL_X, NORMAL_Y and NORMAL_Z are kept for the normals. Every body comes before the
    // first variable (std::logic_error otherwise); the first variable or setTimes fixes the
    // number of steps.
    void addBody(const std::string& name, Body body);
    void addNodalVariable(const std::string& name, std::vector<StepValues> steps);
    void setTimes(std::vector<double> times);  // without it, step k has time k - 1

    // Writes as writeExodusMesh does, block k + 1 holding the k-th body. Normals are stored at
    // every step, at one step if the file has no other. Without bodies there is nothing to write:
    // std::logic_error.
    void write() const;

private:
    struct Variable {
        std::string name;
        std::vector<StepValues> steps;
    };

    void requireStepCount(const std::string& what, std::size_t count) const;
    ExodusMesh toMesh() const;

    std::string path_;
    Precision precision_;
    std::vector<std::string> bodyNames_;
    std::vector<Body> bodies_;
    std::vector<Variable> variables_;
    std::optional<std::size_t> numSteps_;
    std::vector<double> times_;  // empty: step k has time k - 1
};

}  // namespace CoreIo
