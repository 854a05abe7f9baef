#include "NetcdfExtent.h"

#include "ExodusFile.h"
#include "Persistence_CoreIo.h"

#include <netcdf.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

namespace CoreIo {

namespace {

constexpr std::uint64_t saturated = std::numeric_limits<std::uint64_t>::max();

std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b)
{
    return a > saturated - b ? saturated : a + b;
}

std::uint64_t saturatingMultiply(std::uint64_t a, std::uint64_t b)
{
    return b != 0 && a > saturated / b ? saturated : a * b;
}

// Header items and variables of the classic formats occupy whole 4-byte words.
std::uint64_t paddedToWord(std::uint64_t bytes)
{
    return saturatingAdd(bytes, 3) & ~std::uint64_t{3};
}

// Bytes per value of a netCDF external type; 0 for a type the classic formats do not know.
std::uint64_t typeSize(std::uint64_t type)
{
    constexpr std::array<std::uint64_t, 12> sizes{0, 1, 1, 2, 4, 4, 8, 1, 2, 4, 8, 8};
    return type < sizes.size() ? sizes[type] : 0;
}

// The data of one record variable within each record.
struct RecordVariable {
    std::uint64_t begin;
    std::uint64_t bytes;
};

// Reads a classic header front to back and keeps only what locates the data. Every read is
// bounded by the file's size, so a corrupt count fails at the end of the file, not in memory.
class ClassicHeader {
public:
    ClassicHeader(std::istream& in, const std::string& path, std::uint64_t fileSize, char version)
        : in_(in),
          path_(path),
          fileSize_(fileSize),
          position_(4),
          countBytes_(version == 5 ? 8 : 4),
          offsetBytes_(version == 1 ? 4 : 8)
    {
    }

    // The first byte after the last variable's data.
    std::uint64_t dataEnd()
    {
        const std::uint64_t numRecords = readWord(countBytes_);
        const bool streaming = numRecords == (countBytes_ == 4 ? 0xFFFFFFFFu : saturated);
        readDimensions();
        skipAttributes();
        const std::uint64_t numVariables = readListLength(tagVariable, "variable");
        std::uint64_t end = 0;
        std::vector<RecordVariable> records;
        for (std::uint64_t v = 0; v < numVariables; ++v) {
            readVariable(end, records);
        }
        if (!streaming && numRecords > 0) {
            end = std::max(end, recordsEnd(records, numRecords));
        }
        return end;
    }

private:
    static constexpr std::uint64_t tagDimension = 0x0A;
    static constexpr std::uint64_t tagVariable = 0x0B;
    static constexpr std::uint64_t tagAttribute = 0x0C;

    [[noreturn]] void malformed(const std::string& what) const
    {
        throw LoadError(aboutFile(path_, "has a malformed netCDF header: " + what));
    }

    [[noreturn]] void truncated() const
    {
        throw LoadError(aboutFile(path_, "is truncated: its netCDF header breaks off after " +
                                             std::to_string(fileSize_) + " bytes"));
    }

    std::uint64_t readWord(int bytes)
    {
        std::array<unsigned char, 8> buffer{};
        if (!in_.read(reinterpret_cast<char*>(buffer.data()), bytes)) {
            truncated();
        }
        position_ += static_cast<std::uint64_t>(bytes);
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            value = (value << 8) | buffer[static_cast<std::size_t>(i)];
        }
        return value;
    }

    void skip(std::uint64_t bytes)
    {
        if (bytes > fileSize_ - position_) {
            truncated();
        }
        position_ += bytes;
        in_.seekg(static_cast<std::streamoff>(position_));
    }

    void skipName() { skip(paddedToWord(readWord(countBytes_))); }

    // A list opens with its tag and length; an absent list has both zero.
    std::uint64_t readListLength(std::uint64_t tag, const char* kind)
    {
        const std::uint64_t foundTag = readWord(4);
        const std::uint64_t length = readWord(countBytes_);
        if (foundTag != tag && !(foundTag == 0 && length == 0)) {
            malformed(std::string("the ") + kind + " list has tag " + std::to_string(foundTag));
        }
        return length;
    }

    void readDimensions()
    {
        const std::uint64_t count = readListLength(tagDimension, "dimension");
        for (std::uint64_t d = 0; d < count; ++d) {
            skipName();
            dimensionLengths_.push_back(readWord(countBytes_));
        }
    }

    void skipAttributes()
    {
        const std::uint64_t count = readListLength(tagAttribute, "attribute");
        for (std::uint64_t a = 0; a < count; ++a) {
            skipName();
            const std::uint64_t size = typeSize(readWord(4));
            if (size == 0) {
                malformed("an attribute has an unknown type");
            }
            skip(paddedToWord(saturatingMultiply(readWord(countBytes_), size)));
        }
    }

    // Values per record of a record variable, or all values of a fixed one. The record
    // dimension has length 0 and may only come first.
    std::uint64_t readShape(bool& isRecord)
    {
        const std::uint64_t rank = readWord(countBytes_);
        std::uint64_t values = 1;
        isRecord = false;
        for (std::uint64_t d = 0; d < rank; ++d) {
            const std::uint64_t id = readWord(countBytes_);
            if (id >= dimensionLengths_.size()) {
                malformed("a variable refers to dimension " + std::to_string(id) + ", which is not declared");
            }
            const std::uint64_t length = dimensionLengths_[id];
            if (length == 0 && d > 0) {
                malformed("a variable has the record dimension in another place than first");
            }
            isRecord = isRecord || length == 0;
            values = length == 0 ? values : saturatingMultiply(values, length);
        }
        return values;
    }

    void readVariable(std::uint64_t& fixedEnd, std::vector<RecordVariable>& records)
    {
        skipName();
        bool isRecord = false;
        const std::uint64_t values = readShape(isRecord);
        skipAttributes();
        const std::uint64_t size = typeSize(readWord(4));
        if (size == 0) {
            malformed("a variable has an unknown type");
        }
        readWord(countBytes_);  // the padded size, which the shape already gives
        const std::uint64_t begin = readWord(offsetBytes_);
        const std::uint64_t bytes = saturatingMultiply(values, size);
        if (isRecord) {
            records.push_back({begin, bytes});
        } else {
            fixedEnd = std::max(fixedEnd, saturatingAdd(begin, bytes));
        }
    }

    // Records follow each other, each holding every record variable padded to a word; a lone
    // record variable is stored unpadded.
    static std::uint64_t recordsEnd(const std::vector<RecordVariable>& records, std::uint64_t numRecords)
    {
        if (records.empty()) {
            return 0;
        }
        std::uint64_t recordSize = 0;
        for (const RecordVariable& record : records) {
            recordSize = saturatingAdd(recordSize, paddedToWord(record.bytes));
        }
        if (recordSize == paddedToWord(records.front().bytes)) {
            recordSize = records.front().bytes;
        }
        std::uint64_t end = 0;
        for (const RecordVariable& record : records) {
            const std::uint64_t lastRecord = saturatingMultiply(numRecords - 1, recordSize);
            end = std::max(end, saturatingAdd(saturatingAdd(record.begin, lastRecord), record.bytes));
        }
        return end;
    }

    std::istream& in_;
    const std::string& path_;
    std::uint64_t fileSize_;
    std::uint64_t position_;
    int countBytes_;   // width of counts: 8 bytes in CDF-5
    int offsetBytes_;  // width of data offsets: 4 bytes in CDF-1
    std::vector<std::uint64_t> dimensionLengths_;
};

}  // namespace

NetcdfFileFacts inspectNetcdfFile(const std::string& path)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    std::ifstream in(path, std::ios::binary);
    if (error || !in) {
        const std::string reason = error ? error.message() : std::strerror(errno);
        throw LoadError(aboutFile(path, "cannot be read: " + reason));
    }
    std::array<char, 4> magic{};
    const bool classic = in.read(magic.data(), magic.size()) && std::memcmp(magic.data(), "CDF", 3) == 0 &&
                         (magic[3] == 1 || magic[3] == 2 || magic[3] == 5);
    if (!classic) {
        return {size, false};
    }
    const std::uint64_t dataEnd = ClassicHeader(in, path, size, magic[3]).dataEnd();
    if (dataEnd > size) {
        throw LoadError(aboutFile(path, "is truncated or its header is corrupt: the header places data up to byte " +
                                            std::to_string(dataEnd) + ", but the file holds " + std::to_string(size) +
                                            " bytes"));
    }
    return {size, true};
}

std::optional<std::uint64_t> variableValueCount(int netcdfId, const std::string& variable)
{
    int id = 0;
    int rank = 0;
    std::array<int, NC_MAX_VAR_DIMS> dimensions{};
    if (nc_inq_varid(netcdfId, variable.c_str(), &id) != NC_NOERR || nc_inq_varndims(netcdfId, id, &rank) != NC_NOERR ||
        rank < 0 || rank > NC_MAX_VAR_DIMS || nc_inq_vardimid(netcdfId, id, dimensions.data()) != NC_NOERR) {
        return std::nullopt;
    }
    std::uint64_t values = 1;
    for (int d = 0; d < rank; ++d) {
        std::size_t length = 0;
        if (nc_inq_dimlen(netcdfId, dimensions[static_cast<std::size_t>(d)], &length) != NC_NOERR) {
            return std::nullopt;
        }
        values = saturatingMultiply(values, length);
    }
    return values;
}

std::optional<std::uint64_t> attributeValueCount(int netcdfId, const std::string& variable,
                                                 const std::string& attribute)
{
    int id = NC_GLOBAL;
    std::size_t length = 0;
    if ((!variable.empty() && nc_inq_varid(netcdfId, variable.c_str(), &id) != NC_NOERR) ||
        nc_inq_attlen(netcdfId, id, attribute.c_str(), &length) != NC_NOERR) {
        return std::nullopt;
    }
    return length;
}

}  // namespace CoreIo
