#pragma once
// Shared by the Exodus loader and writer tests: builders that keep a copy of what a loader hands
// them, a scratch directory per test, and ways to make and damage files.

#include "Persistence_CoreIo.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace ExodusTest {

// Copies every array of the one mesh record a load delivers.
class RecordingMeshBuilder : public CoreIo::MeshBuilderInterface {
public:
    explicit RecordingMeshBuilder(bool topologyOnly = false) : topologyOnly_(topologyOnly) {}

    void build(const CoreIo::MeshBuilderParamColMajor& param) override;
    void build(const CoreIo::MeshBuilderParamRowMajor& param) override;
    bool needNormals() const override { return false; }
    bool loadTopologyOnly() const override { return topologyOnly_; }

    int builds = 0;
    std::size_t numNodes = 0;
    std::size_t numNormals = 0;
    bool receivedCoordinates = false;  // any coordinate pointer was set
    bool rowMajor = false;             // the record came interleaved
    std::vector<float> x, y, z, nx, ny, nz;
    std::vector<int> triangles;
    std::vector<int> solverIndexMapping;
    bool receivedMapping = false;

private:
    bool topologyOnly_;
};

// Keeps the typed arrays a result load delivers; other operations count as unexpected.
class RecordingResultBuilder : public CoreIo::ResultBuilderInterface {
public:
    void setInterval(double, double) override {}
    void build(const CoreIo::ResultBuilderColMajorParam&, const CoreIo::ResultBuilderColMajorParam&) override;
    void build(const CoreIo::ResultBuilderRowMajorParam&, const CoreIo::ResultBuilderRowMajorParam&) override;
    void build(const CoreIo::ResultBuilderColMajorParam&) override;
    void build(const CoreIo::ResultBuilderRowMajorParam&) override;
    void build(std::size_t count, const int* values) override;
    void build(std::size_t count, const float* values) override;
    void build(std::size_t count, const double* values) override;

    std::vector<std::vector<float>> floatArrays;
    std::vector<std::vector<double>> doubleArrays;
    int unexpectedBuilds = 0;
};

// A fresh directory for the running test, removed with everything in it afterwards.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::vector<std::string> entries() const;  // file names, sorted

private:
    std::filesystem::path path_;
};

// The message of the CoreIo::LoadError that action throws; a failure if it throws none.
std::string loadErrorOf(const std::function<void()>& action);

// The result of a body by name at a step; a failure if the body has none.
CoreIo::DataLocation resultAt(const CoreIo::SimBody& body, const std::string& name, std::int64_t step);

// Turns a CDL text of tests/data into a binary file with ncgen, of the format that ncgen's -k
// option names (1 classic, 2 64-bit offsets, 3 netCDF-4, 5 64-bit data).
void generateFromCdl(const std::string& cdlName, const std::string& target, int kind = 1);

// Changes a stored value in place through the netCDF library; index has one entry per dimension.
using Index = std::vector<std::size_t>;
void overwriteInt(const std::string& path, const std::string& variable, const Index& index, int value);
void overwriteFloat(const std::string& path, const std::string& variable, const Index& index, float value);
// Change a file's header through the netCDF library: set an attribute, of a variable or, for an
// empty variable name, of the file; or give a variable new dimensions of the given lengths (the
// old one is renamed aside, its attributes copied) and fill it with one value.
void putIntAttribute(const std::string& path, const std::string& variable, const std::string& attribute,
                     const std::vector<int>& values);
void putTextAttribute(const std::string& path, const std::string& variable, const std::string& attribute,
                      const std::string& text);
void reshapeIntVariable(const std::string& path, const std::string& variable, const Index& lengths, int value);
// Rewrite a classic file's header, bypassing every check: a dimension's length, or the number of
// records (time steps).
void patchDimensionLength(const std::string& path, const std::string& dimension, std::uint32_t length);
void patchRecordCount(const std::string& path, std::uint32_t count);

}  // namespace ExodusTest
