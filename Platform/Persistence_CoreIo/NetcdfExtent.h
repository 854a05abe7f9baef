#pragma once
// Whether a netCDF file holds all the data its header declares, and how many values its variables
// and attributes declare. The classic formats record where each variable begins, so a file cut
// short shows before anything is read; netCDF itself would hand the missing bytes back as zeros.

#include <cstdint>
#include <optional>
#include <string>

namespace CoreIo {

struct NetcdfFileFacts {
    std::uint64_t size = 0;      // bytes on disk
    bool classicFormat = false;  // CDF-1, CDF-2 or CDF-5; otherwise HDF5-based, which checks its own length
};

// Throws LoadError naming the file when it cannot be read, or when a classic-format header is
// malformed or places data beyond the end of the file. Files of other formats pass unexamined.
NetcdfFileFacts inspectNetcdfFile(const std::string& path);

// What reading a whole variable or attribute of an open file (netcdfId) delivers: the product of
// the variable's dimension lengths, the attribute's number of values. Empty when there is no such
// variable or attribute; an empty variable name means a global attribute.
std::optional<std::uint64_t> variableValueCount(int netcdfId, const std::string& variable);
std::optional<std::uint64_t> attributeValueCount(int netcdfId, const std::string& variable,
                                                 const std::string& attribute);

}  // namespace CoreIo
