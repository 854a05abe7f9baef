#pragma once
// Shared by the loader and writer tests: builders that keep a copy of what a load hands them, a
// scratch directory per test, and the message of a refusal.

#include "MemoryLoader.h"
#include "Persistence_CoreIo.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

namespace ExodusTest {

template <typename T>
std::vector<T> copyOf(const T* values, std::size_t count)
{
    return values == nullptr ? std::vector<T>{} : std::vector<T>(values, values + count);
}

// Positions and normals as columns whatever the record's layout; empty where the record had none.
class MeshRecorder : public CoreIo::MeshBuilderInterface {
public:
    explicit MeshRecorder(bool topologyOnly = false, std::function<void()> duringBuild = {})
        : topologyOnly_(topologyOnly), duringBuild_(std::move(duringBuild))
    {
    }
    void build(const CoreIo::MeshBuilderParamColMajor& record) override
    {
        for (auto [column, values, count] : {std::tuple{&x, record.x, record.numNodes},
                                             {&y, record.y, record.numNodes},
                                             {&z, record.z, record.numNodes},
                                             {&nx, record.nx, record.numNormals},
                                             {&ny, record.ny, record.numNormals},
                                             {&nz, record.nz, record.numNormals}})
            *column = copyOf(values, count);
        take(record, record.x);
    }
    void build(const CoreIo::MeshBuilderParamRowMajor& record) override
    {
        rowMajor = true;
        for (std::size_t i = 0; record.coordinates != nullptr && i < 3 * record.numNodes; ++i)
            std::array{&x, &y, &z}[i % 3]->push_back(record.coordinates[i]);
        for (std::size_t i = 0; record.normals != nullptr && i < 3 * record.numNormals; ++i)
            std::array{&nx, &ny, &nz}[i % 3]->push_back(record.normals[i]);
        take(record, record.coordinates);
    }
    bool needNormals() const override { return false; }
    bool loadTopologyOnly() const override { return topologyOnly_; }

    int builds = 0;
    bool rowMajor = false;
    std::size_t numNormals = 0;
    const float* positions = nullptr;  // the record's own array, to tell whether loads share storage
    std::vector<float> x, y, z, nx, ny, nz;
    std::vector<int> triangles, solverIndexMapping;

private:
    template <typename Record>
    void take(const Record& record, const float* recordPositions)
    {
        ++builds;
        numNormals = record.numNormals;
        positions = recordPositions;
        triangles = copyOf(record.triangles, 3 * record.numTriangles);
        solverIndexMapping = copyOf(record.solverIndexMapping, record.numNodes);
        if (duringBuild_)
            duringBuild_();
    }
    bool topologyOnly_;
    std::function<void()> duringBuild_;
};

// Results arrive as one plain typed array per load; the other operations are failures.
class ResultRecorder : public CoreIo::ResultBuilderInterface {
public:
    using ColMajor = CoreIo::ResultBuilderColMajorParam;
    using RowMajor = CoreIo::ResultBuilderRowMajorParam;
    void setInterval(double, double) override { ADD_FAILURE(); }
    void build(const ColMajor&, const ColMajor&) override { ADD_FAILURE(); }
    void build(const RowMajor&, const RowMajor&) override { ADD_FAILURE(); }
    void build(const ColMajor&) override { ADD_FAILURE(); }
    void build(const RowMajor&) override { ADD_FAILURE(); }
    void build(std::size_t count, const int* values) override { received.emplace_back(copyOf(values, count)); }
    void build(std::size_t count, const float* values) override { received.emplace_back(copyOf(values, count)); }
    void build(std::size_t count, const double* values) override { received.emplace_back(copyOf(values, count)); }

    std::vector<CoreIo::ResultValues> received;
};

// Values of any stored type as doubles.
inline std::vector<double> asDoubles(const CoreIo::ResultValues& values)
{
    return std::visit([](const auto& typed) { return std::vector<double>(typed.begin(), typed.end()); }, values);
}

// A fresh directory for the running test, removed with everything in it afterwards.
class ScratchDirectory {
public:
    ScratchDirectory() { std::filesystem::create_directories(path_); }
    ~ScratchDirectory()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_ = std::filesystem::temp_directory_path() /
                                  ("coreio-" +
                                   std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                                   std::to_string(getpid()));
};

// The message of the Error that action throws; a failure if it throws none.
template <typename Error = CoreIo::LoadError>
std::string messageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& error) {
        return error.what();
    }
    ADD_FAILURE() << "nothing was thrown";
    return {};
}

}  // namespace ExodusTest
