#include "Persistence_CoreIo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

using namespace CoreIo;

namespace {

// A record as a separately built library would lay it down: 8-byte words written at byte offsets.
template <typename Record>
Record fromWords(std::initializer_list<std::pair<std::size_t, std::uint64_t>> words)
{
    std::array<std::byte, sizeof(Record)> bytes{};
    for (const auto& [offset, word] : words) {
        std::memcpy(bytes.data() + offset, &word, sizeof word);
    }
    return std::bit_cast<Record>(bytes);
}

template <typename T>
std::uint64_t word(const T* pointer)
{
    return reinterpret_cast<std::uintptr_t>(pointer);
}

template <typename Record>
bool isAllZero(const Record& record)
{
    const auto bytes = std::bit_cast<std::array<std::byte, sizeof(Record)>>(record);
    return std::all_of(bytes.begin(), bytes.end(), [](std::byte b) { return b == std::byte{0}; });
}

template <typename Record>
constexpr bool isPlainRecord = std::is_standard_layout_v<Record> && std::is_trivially_copyable_v<Record> &&
                               alignof(Record) == 8;

}  // namespace

TEST(RecordLayout, RecordsEndAfterTheirLastEightByteField)
{
    EXPECT_EQ(sizeof(MeshBuilderParamColMajor), 104u);
    EXPECT_EQ(sizeof(MeshBuilderParamRowMajor), 72u);
    EXPECT_EQ(sizeof(CurveBuilderParamColMajor), 64u);
    EXPECT_EQ(sizeof(CurveBuilderParamRowMajor), 32u);
    EXPECT_EQ(sizeof(ResultBuilderColMajorParam), 24u);
    EXPECT_EQ(sizeof(ResultBuilderRowMajorParam), 24u);
}

TEST(RecordLayout, RecordsArePlainEightByteAlignedData)
{
    EXPECT_TRUE(isPlainRecord<MeshBuilderParamColMajor>);
    EXPECT_TRUE(isPlainRecord<MeshBuilderParamRowMajor>);
    EXPECT_TRUE(isPlainRecord<CurveBuilderParamColMajor>);
    EXPECT_TRUE(isPlainRecord<CurveBuilderParamRowMajor>);
    EXPECT_TRUE(isPlainRecord<ResultBuilderColMajorParam>);
    EXPECT_TRUE(isPlainRecord<ResultBuilderRowMajorParam>);
}

TEST(RecordLayout, ColumnMajorMeshRecordReadsEveryWordAtItsOffset)
{
    const float x[1]{}, y[1]{}, z[1]{}, nx[1]{}, ny[1]{}, nz[1]{};
    const int triangles[3]{}, mapping[1]{};
    const auto record = fromWords<MeshBuilderParamColMajor>(
        {{0, 7}, {8, word(x)}, {16, word(y)}, {24, word(z)}, {32, word(nx)}, {40, word(ny)}, {48, word(nz)},
         {56, 5}, {64, word(triangles)}, {72, 0xAAAA}, {80, 3}, {88, 0xBBBB}, {96, word(mapping)}});

    EXPECT_EQ(record.numNodes, 7u);
    EXPECT_EQ(record.x, x);
    EXPECT_EQ(record.y, y);
    EXPECT_EQ(record.z, z);
    EXPECT_EQ(record.nx, nx);
    EXPECT_EQ(record.ny, ny);
    EXPECT_EQ(record.nz, nz);
    EXPECT_EQ(record.numTriangles, 5u);
    EXPECT_EQ(record.triangles, triangles);
    EXPECT_EQ(record.opaque1, 0xAAAAu);
    EXPECT_EQ(record.numNormals, 3u);
    EXPECT_EQ(record.opaque2, 0xBBBBu);
    EXPECT_EQ(record.solverIndexMapping, mapping);
}

TEST(RecordLayout, RowMajorMeshRecordReadsEveryWordAtItsOffset)
{
    const float coordinates[3]{}, normals[3]{};
    const int triangles[3]{}, mapping[1]{};
    const auto record = fromWords<MeshBuilderParamRowMajor>(
        {{0, 7}, {8, word(coordinates)}, {16, word(normals)}, {24, 5}, {32, word(triangles)}, {40, 0xAAAA},
         {48, 3}, {56, 0xBBBB}, {64, word(mapping)}});

    EXPECT_EQ(record.numNodes, 7u);
    EXPECT_EQ(record.coordinates, coordinates);
    EXPECT_EQ(record.normals, normals);
    EXPECT_EQ(record.numTriangles, 5u);
    EXPECT_EQ(record.triangles, triangles);
    EXPECT_EQ(record.opaque1, 0xAAAAu);
    EXPECT_EQ(record.numNormals, 3u);
    EXPECT_EQ(record.opaque2, 0xBBBBu);
    EXPECT_EQ(record.solverIndexMapping, mapping);
}

TEST(RecordLayout, CurveRecordsReadEveryWordAtItsOffset)
{
    const float x[1]{}, y[1]{}, z[1]{}, nx[1]{}, ny[1]{}, nz[1]{};
    const auto columns = fromWords<CurveBuilderParamColMajor>(
        {{0, 9}, {8, word(x)}, {16, word(y)}, {24, word(z)}, {32, word(nx)}, {40, word(ny)}, {48, word(nz)},
         {56, 4}});
    EXPECT_EQ(columns.numPoints, 9u);
    EXPECT_EQ(columns.x, x);
    EXPECT_EQ(columns.y, y);
    EXPECT_EQ(columns.z, z);
    EXPECT_EQ(columns.nx, nx);
    EXPECT_EQ(columns.ny, ny);
    EXPECT_EQ(columns.nz, nz);
    EXPECT_EQ(columns.numNormals, 4u);

    const auto rows = fromWords<CurveBuilderParamRowMajor>({{0, 9}, {8, word(x)}, {16, word(nx)}, {24, 4}});
    EXPECT_EQ(rows.numPoints, 9u);
    EXPECT_EQ(rows.coordinates, x);
    EXPECT_EQ(rows.normals, nx);
    EXPECT_EQ(rows.numNormals, 4u);
}

TEST(RecordLayout, DefaultRecordsHoldZeroCountsAndNullArrays)
{
    EXPECT_TRUE(isAllZero(MeshBuilderParamColMajor{}));
    EXPECT_TRUE(isAllZero(MeshBuilderParamRowMajor{}));
    EXPECT_TRUE(isAllZero(CurveBuilderParamColMajor{}));
    EXPECT_TRUE(isAllZero(CurveBuilderParamRowMajor{}));
}
