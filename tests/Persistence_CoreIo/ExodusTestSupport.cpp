#include "ExodusTestSupport.h"

#include <netcdf.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace ExodusTest {

namespace {

template <typename T>
std::vector<T> copyOf(const T* values, std::size_t count)
{
    return values == nullptr ? std::vector<T>{} : std::vector<T>(values, values + count);
}

std::vector<char> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string& path, const std::vector<char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void putBigEndian(std::vector<char>& bytes, std::size_t offset, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
    }
}

// Opens a file for writing through the netCDF library and hands the variable's id to put.
template <typename Put>
void overwrite(const std::string& path, const std::string& variable, Put put)
{
    int file = 0;
    int id = 0;
    ASSERT_EQ(nc_open(path.c_str(), NC_WRITE, &file), NC_NOERR) << path;
    ASSERT_EQ(nc_inq_varid(file, variable.c_str(), &id), NC_NOERR) << variable;
    EXPECT_EQ(put(file, id), NC_NOERR) << variable;
    ASSERT_EQ(nc_close(file), NC_NOERR);
}

// Opens a file for writing through the netCDF library, in define mode, and hands its id to define.
template <typename Define>
void redefine(const std::string& path, Define define)
{
    int file = 0;
    ASSERT_EQ(nc_open(path.c_str(), NC_WRITE, &file), NC_NOERR) << path;
    ASSERT_EQ(nc_redef(file), NC_NOERR);
    define(file);
    ASSERT_EQ(nc_close(file), NC_NOERR);
}

// The id of a variable, or NC_GLOBAL for an empty name.
int attributeOwner(int file, const std::string& variable)
{
    int id = NC_GLOBAL;
    if (!variable.empty()) {
        EXPECT_EQ(nc_inq_varid(file, variable.c_str(), &id), NC_NOERR) << variable;
    }
    return id;
}

}  // namespace

void RecordingMeshBuilder::build(const CoreIo::MeshBuilderParamColMajor& param)
{
    ++builds;
    numNodes = param.numNodes;
    numNormals = param.numNormals;
    receivedCoordinates = param.x != nullptr || param.y != nullptr || param.z != nullptr;
    x = copyOf(param.x, param.numNodes);
    y = copyOf(param.y, param.numNodes);
    z = copyOf(param.z, param.numNodes);
    nx = copyOf(param.nx, param.numNormals);
    ny = copyOf(param.ny, param.numNormals);
    nz = copyOf(param.nz, param.numNormals);
    triangles = copyOf(param.triangles, 3 * param.numTriangles);
    receivedMapping = param.solverIndexMapping != nullptr;
    solverIndexMapping = copyOf(param.solverIndexMapping, param.numNodes);
}

void RecordingMeshBuilder::build(const CoreIo::MeshBuilderParamRowMajor& param)
{
    ++builds;
    rowMajor = true;
    numNodes = param.numNodes;
    numNormals = param.numNormals;
    receivedCoordinates = param.coordinates != nullptr;
    const std::vector<float> coordinates = copyOf(param.coordinates, 3 * param.numNodes);
    const std::vector<float> normals = copyOf(param.normals, 3 * param.numNormals);
    for (auto [interleaved, columns] : {std::pair{&coordinates, std::array{&x, &y, &z}}, std::pair{&normals, std::array{&nx, &ny, &nz}}})
        for (std::size_t component = 0; component < 3; ++component) {
            columns[component]->clear();
            for (std::size_t i = component; i < interleaved->size(); i += 3)
                columns[component]->push_back((*interleaved)[i]);
        }
    triangles = copyOf(param.triangles, 3 * param.numTriangles);
    receivedMapping = param.solverIndexMapping != nullptr;
    solverIndexMapping = copyOf(param.solverIndexMapping, param.numNodes);
}

void RecordingResultBuilder::build(const CoreIo::ResultBuilderColMajorParam&, const CoreIo::ResultBuilderColMajorParam&)
{
    ++unexpectedBuilds;
}

void RecordingResultBuilder::build(const CoreIo::ResultBuilderRowMajorParam&, const CoreIo::ResultBuilderRowMajorParam&)
{
    ++unexpectedBuilds;
}

void RecordingResultBuilder::build(const CoreIo::ResultBuilderColMajorParam&)
{
    ++unexpectedBuilds;
}

void RecordingResultBuilder::build(const CoreIo::ResultBuilderRowMajorParam&)
{
    ++unexpectedBuilds;
}

void RecordingResultBuilder::build(std::size_t, const int*)
{
    ++unexpectedBuilds;
}

void RecordingResultBuilder::build(std::size_t count, const float* values)
{
    floatArrays.push_back(copyOf(values, count));
}

void RecordingResultBuilder::build(std::size_t count, const double* values)
{
    doubleArrays.push_back(copyOf(values, count));
}

ScratchDirectory::ScratchDirectory()
{
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() /
            ("coreio-" + std::string(test->test_suite_name()) + "-" + test->name() + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> ScratchDirectory::entries() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string loadErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const CoreIo::LoadError& error) {
        return error.what();
    }
    ADD_FAILURE() << "no CoreIo::LoadError was thrown";
    return {};
}

CoreIo::DataLocation resultAt(const CoreIo::SimBody& body, const std::string& name, std::int64_t step)
{
    const auto entry = std::find_if(body.results.begin(), body.results.end(), [&](const CoreIo::ResultEntry& e) {
        return e.name == name && e.dataLocation.step == step;
    });
    if (entry == body.results.end()) {
        ADD_FAILURE() << "body " << body.name << " has no result " << name << " at step " << step;
        return {};
    }
    return entry->dataLocation;
}

void generateFromCdl(const std::string& cdlName, const std::string& target, int kind)
{
    const std::string command = std::string(COREIO_NCGEN) + " -k " + std::to_string(kind) + " -o '" + target +
                                "' '" + COREIO_TEST_DATA_DIR + "/" + cdlName + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

void overwriteInt(const std::string& path, const std::string& variable, const Index& index, int value)
{
    overwrite(path, variable, [&](int file, int id) { return nc_put_var1_int(file, id, index.data(), &value); });
}

void overwriteFloat(const std::string& path, const std::string& variable, const Index& index, float value)
{
    overwrite(path, variable, [&](int file, int id) { return nc_put_var1_float(file, id, index.data(), &value); });
}

void putIntAttribute(const std::string& path, const std::string& variable, const std::string& attribute,
                     const std::vector<int>& values)
{
    redefine(path, [&](int file) {
        EXPECT_EQ(nc_put_att_int(file, attributeOwner(file, variable), attribute.c_str(), NC_INT, values.size(),
                                 values.data()),
                  NC_NOERR)
            << attribute;
    });
}

void putTextAttribute(const std::string& path, const std::string& variable, const std::string& attribute,
                      const std::string& text)
{
    redefine(path, [&](int file) {
        EXPECT_EQ(nc_put_att_text(file, attributeOwner(file, variable), attribute.c_str(), text.size(), text.data()),
                  NC_NOERR)
            << attribute;
    });
}

void reshapeIntVariable(const std::string& path, const std::string& variable, const Index& lengths, int value)
{
    redefine(path, [&](int file) {
        int old = 0;
        ASSERT_EQ(nc_inq_varid(file, variable.c_str(), &old), NC_NOERR) << variable;
        ASSERT_EQ(nc_rename_var(file, old, (variable + "_replaced").c_str()), NC_NOERR);
        std::vector<int> dimensions(lengths.size());
        std::size_t count = 1;
        for (std::size_t d = 0; d < lengths.size(); ++d) {
            const std::string name = variable + "_length" + std::to_string(d);
            ASSERT_EQ(nc_def_dim(file, name.c_str(), lengths[d], &dimensions[d]), NC_NOERR) << name;
            count *= lengths[d];
        }
        int id = 0;
        const auto rank = static_cast<int>(dimensions.size());
        ASSERT_EQ(nc_def_var(file, variable.c_str(), NC_INT, rank, dimensions.data(), &id), NC_NOERR);
        int numAttributes = 0;
        ASSERT_EQ(nc_inq_varnatts(file, old, &numAttributes), NC_NOERR);
        for (int a = 0; a < numAttributes; ++a) {
            std::array<char, NC_MAX_NAME + 1> name{};
            ASSERT_EQ(nc_inq_attname(file, old, a, name.data()), NC_NOERR);
            ASSERT_EQ(nc_copy_att(file, old, name.data(), file, id), NC_NOERR);
        }
        ASSERT_EQ(nc_enddef(file), NC_NOERR);
        const std::vector<int> values(count, value);
        EXPECT_EQ(nc_put_var_int(file, id, values.data()), NC_NOERR);
    });
}

// In the header a dimension is its name, padded to whole words, followed by its length.
void patchDimensionLength(const std::string& path, const std::string& dimension, std::uint32_t length)
{
    std::vector<char> bytes = readBytes(path);
    std::string padded = dimension;
    padded.resize((dimension.size() + 3) / 4 * 4, '\0');
    const auto found = std::search(bytes.begin(), bytes.end(), padded.begin(), padded.end());
    ASSERT_NE(found, bytes.end()) << "no dimension " << dimension << " in " << path;
    putBigEndian(bytes, static_cast<std::size_t>(found - bytes.begin()) + padded.size(), length);
    writeBytes(path, bytes);
}

// The record count follows the four bytes of the format's signature.
void patchRecordCount(const std::string& path, std::uint32_t count)
{
    std::vector<char> bytes = readBytes(path);
    ASSERT_GE(bytes.size(), 8u);
    putBigEndian(bytes, 4, count);
    writeBytes(path, bytes);
}

}  // namespace ExodusTest
