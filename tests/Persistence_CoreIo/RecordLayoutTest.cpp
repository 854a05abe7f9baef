#include "Persistence_CoreIo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <numeric>
#include <type_traits>
#include <vector>

using namespace CoreIo;

namespace {

using Words = std::vector<std::uint64_t>;

// A record as a separately built library lays it down: word k, at byte offset 8 k, holds k + 1.
template <typename Record>
Record numberedWords()
{
    std::array<std::uint64_t, sizeof(Record) / 8> words{};
    std::iota(words.begin(), words.end(), 1u);
    return std::bit_cast<Record>(words);
}

std::uint64_t word(std::size_t count) { return count; }
std::uint64_t word(const void* pointer) { return reinterpret_cast<std::uintptr_t>(pointer); }

// The fields as read, each as the word it came from.
template <typename... Fields>
Words read(Fields... fields)
{
    return {word(fields)...};
}

Words numbered(std::uint64_t count)
{
    Words words(count);
    std::iota(words.begin(), words.end(), 1u);
    return words;
}

template <typename Record>
bool isAllZero(const Record& record)
{
    const auto bytes = std::bit_cast<std::array<std::byte, sizeof(Record)>>(record);
    return std::all_of(bytes.begin(), bytes.end(), [](std::byte b) { return b == std::byte{0}; });
}

template <typename... Records>
bool arePlainEightByteAligned()
{
    return ((std::is_standard_layout_v<Records> && std::is_trivially_copyable_v<Records> && alignof(Records) == 8) && ...);
}

}  // namespace

TEST(RecordLayout, RecordsReadEveryEightByteWordAsTheFieldAtItsOffset)
{
    const auto meshColumns = numberedWords<MeshBuilderParamColMajor>();
    const auto& c = meshColumns;
    EXPECT_EQ(read(c.numNodes, c.x, c.y, c.z, c.nx, c.ny, c.nz, c.numTriangles, c.triangles, c.opaque1, c.numNormals,
                   c.opaque2, c.solverIndexMapping), numbered(13));
    const auto r = numberedWords<MeshBuilderParamRowMajor>();
    EXPECT_EQ(read(r.numNodes, r.coordinates, r.normals, r.numTriangles, r.triangles, r.opaque1, r.numNormals,
                   r.opaque2, r.solverIndexMapping), numbered(9));
    const auto curveColumns = numberedWords<CurveBuilderParamColMajor>();
    const auto& k = curveColumns;
    EXPECT_EQ(read(k.numPoints, k.x, k.y, k.z, k.nx, k.ny, k.nz, k.numNormals), numbered(8));
    const auto rows = numberedWords<CurveBuilderParamRowMajor>();
    EXPECT_EQ(read(rows.numPoints, rows.coordinates, rows.normals, rows.numNormals), numbered(4));
}

TEST(RecordLayout, RecordsArePlainEightByteAlignedDataEndingAfterTheirLastWord)
{
    EXPECT_TRUE((arePlainEightByteAligned<MeshBuilderParamColMajor, MeshBuilderParamRowMajor, CurveBuilderParamColMajor,
                                          CurveBuilderParamRowMajor, ResultBuilderColMajorParam, ResultBuilderRowMajorParam>()));
    EXPECT_EQ((Words{sizeof(MeshBuilderParamColMajor), sizeof(MeshBuilderParamRowMajor), sizeof(CurveBuilderParamColMajor),
                     sizeof(CurveBuilderParamRowMajor), sizeof(ResultBuilderColMajorParam), sizeof(ResultBuilderRowMajorParam)}),
              (Words{104, 72, 64, 32, 24, 24}));
}

TEST(RecordLayout, DefaultRecordsHoldZeroCountsAndNullArrays)
{
    EXPECT_TRUE(isAllZero(MeshBuilderParamColMajor{}));
    EXPECT_TRUE(isAllZero(MeshBuilderParamRowMajor{}));
    EXPECT_TRUE(isAllZero(CurveBuilderParamColMajor{}));
    EXPECT_TRUE(isAllZero(CurveBuilderParamRowMajor{}));
}
