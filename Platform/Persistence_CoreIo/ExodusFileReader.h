#pragma once
// A hostile Exodus II file in, a trusted description out. The header is checked against the file's
// size and against itself (counts, names, block ids, connectivity sizes) before anything is sized
// by it, and every read of bulk data checks what it returns. Values are read from the netCDF
// variables that the file actually holds, whichever of the format's layouts it uses, so that no
// reader depends on the Exodus library guessing the layout from an attribute. Every direct call
// into netCDF and every use of the Exodus library's internal header is here. Internal to the
// Exodus loader.

#include "ExodusBody.h"
#include "ExodusElements.h"
#include "ExodusVariables.h"
#include "ExodusFile.h"
#include "NetcdfExtent.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace CoreIo {

// A run of the file's nodes, from 0.
struct NodeRange {
    std::size_t first = 0;
    std::size_t count = 0;
};

class ExodusFileReader {
public:
    // Throws LoadError naming the file when it is missing, no Exodus II file, truncated, or
    // promises data it cannot hold; when it stores other than 4 or 8 bytes per floating-point
    // value or holds several values in a header attribute of one number; when its block ids
    // disagree in size with the count its header gives; when a nodal variable holds fewer values
    // than the file has nodes. A block whose elements make no surface, or whose connectivity is
    // unusable, is listed with the reason; the rest of the file stays usable.
    explicit ExodusFileReader(const std::string& path);
    ~ExodusFileReader();
    ExodusFileReader(const ExodusFileReader&) = delete;
    ExodusFileReader& operator=(const ExodusFileReader&) = delete;

    const std::string& path() const { return file_.path(); }
    const ExodusListing& listing() const { return listing_; }
    bool storesDoubles() const;
    // Throws LoadError "Exodus file "<path>": <what>".
    [[noreturn]] void fail(const std::string& what) const;

    // Names the block in messages: element block "<name>" (id <id>).
    const std::string& blockDescription(std::size_t block) const;
    // The shape of a surface block's elements; empty for a block that makes no surface.
    std::optional<SurfaceShape> surfaceShape(std::size_t block) const;

    // Bulk reads, each of a block, step (from 1) or variable (from 0) that the listing holds.
    // Each throws LoadError naming the file and what cannot be read.
    // - nodesPerElement file nodes, from 0, per element; a block with a defect throws it.
    std::vector<int> connectivity(std::size_t block) const;
    // - x, y, z of each node of the range; 0 on axes the file lacks.
    Positions coordinates(NodeRange nodes) const;
    // - one value per node of the range, or per element of the block, as stored; unwritten values
    //   are the variable's fill value.
    std::vector<double> nodalValues(std::size_t variable, std::int64_t step, NodeRange nodes) const;
    std::vector<double> elementValues(std::size_t block, std::size_t variable, std::int64_t step) const;
    double nodalFillValue(std::size_t variable) const;
    double elementFillValue(std::size_t block, std::size_t variable) const;
    // Whether the file stores values of an element variable for a block.
    bool holdsElementValues(std::size_t block, std::size_t variable) const;
    // - the file's number maps; numbers in order from 1 where it has none.
    std::vector<std::int64_t> nodeIds(NodeRange nodes) const;
    std::vector<std::int64_t> elementIds(std::size_t block) const;

private:
    struct BlockStorage;

    void readDimensions();
    void readVariableNames();
    void readNodalStorage();
    void readSteps();
    void readBlocks();
    std::vector<std::int64_t> readBlockIds(std::size_t count) const;
    // names: the name the block goes by and the one it is stored under
    void readBlock(std::size_t position, std::int64_t id, const std::array<std::string, 2>& names);
    void countBlockNodes(std::size_t block, std::vector<int>& marks);
    std::variant<std::vector<int>, std::string> readConnectivity(std::size_t block) const;
    std::string elementValuesVariable(std::size_t block, std::size_t variable) const;
    std::vector<double> readValues(const std::string& variable, const std::vector<std::size_t>& start,
                                   const std::vector<std::size_t>& count, const std::string& what) const;
    std::vector<std::int64_t> readIds(const char* variable, std::size_t first, std::size_t count,
                                      const std::string& what, bool optional) const;

    NetcdfFileFacts facts_;  // checked before the library opens the file
    ExodusFile file_;
    ExodusListing listing_;
    std::vector<BlockStorage> blocks_;  // parallel to listing_.blocks
    bool combinedCoordinates_ = false;  // one array of all axes instead of one per axis
    bool combinedNodalValues_ = false;  // one array of all nodal variables instead of one per variable
    std::vector<double> nodalFillValues_;
};

}  // namespace CoreIo
