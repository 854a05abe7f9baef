#include "ScalarResultsBuilder.h"

#include <stdexcept>

namespace CoreIo {
namespace {

template <typename T>
using ArrayList = std::vector<std::shared_ptr<std::vector<T>>>;

// Appends a new array to the list before filling it, so that a failure while copying leaves an
// empty array at the end; then copies the values in one allocation of exactly count elements.
template <typename T>
void appendCopy(ArrayList<T>& list, std::size_t count, const T* values)
{
    std::vector<T>& array = *list.emplace_back(std::make_shared<std::vector<T>>());
    // Checked first: values + count must not be formed for a count no array can hold.
    if (count > array.max_size())
        throw std::length_error("vector too long");
    array.assign(values, values + count);
}

template <typename T>
bool holds(const ArrayList<T>& list, int index)
{
    return index >= 0 && static_cast<std::size_t>(index) < list.size();
}

[[noreturn]] void refuseRecord()
{
    throw std::runtime_error("Function should not be called");
}

}  // namespace

ScalarResultsBuilder::ScalarResultsBuilder() = default;

ScalarResultsBuilder::~ScalarResultsBuilder() = default;

void ScalarResultsBuilder::setInterval(double start, double end)
{
    intervalStarts.push_back(start);
    try {
        intervalEnds.push_back(end);
    } catch (...) {
        intervalStarts.pop_back();  // the k-th start belongs to the k-th end
        throw;
    }
}

void ScalarResultsBuilder::build(const ResultBuilderColMajorParam&, const ResultBuilderColMajorParam&)
{
    refuseRecord();
}

void ScalarResultsBuilder::build(const ResultBuilderRowMajorParam&, const ResultBuilderRowMajorParam&)
{
    refuseRecord();
}

void ScalarResultsBuilder::build(const ResultBuilderColMajorParam&)
{
    refuseRecord();
}

void ScalarResultsBuilder::build(const ResultBuilderRowMajorParam&)
{
    refuseRecord();
}

void ScalarResultsBuilder::build(std::size_t count, const int* values)
{
    appendCopy(intArrays, count, values);
}

void ScalarResultsBuilder::build(std::size_t count, const float* values)
{
    appendCopy(floatArrays, count, values);
}

void ScalarResultsBuilder::build(std::size_t count, const double* values)
{
    appendCopy(doubleArrays, count, values);
}

// Once a float array has arrived, double arrays are no longer read, whatever the index.
std::shared_ptr<std::vector<float>> ScalarResultsBuilder::getFloatVector(int index)
{
    if (!floatArrays.empty())
        return holds(floatArrays, index) ? floatArrays[static_cast<std::size_t>(index)] : nullptr;
    if (holds(doubleArrays, index)) {
        const std::vector<double>& source = *doubleArrays[static_cast<std::size_t>(index)];
        return std::make_shared<std::vector<float>>(source.begin(), source.end());
    }
    return nullptr;
}

}  // namespace CoreIo
