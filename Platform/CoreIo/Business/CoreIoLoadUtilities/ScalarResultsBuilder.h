#pragma once
// Collects the scalar result arrays a loader delivers (int, float or double) and hands float and
// double results back by delivery index as float arrays.

#include "Business_CoreIoLoadUtilities_export.h"
#include "Persistence_CoreIo.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace CoreIo {

class BUSINESS_COREIOLOADUTILITIES_EXPORT ScalarResultsBuilder : public ResultBuilderInterface {
public:
    ScalarResultsBuilder();
    ~ScalarResultsBuilder() override;

    void setInterval(double start, double end) override;
    // The four record builds are refused: std::runtime_error "Function should not be called".
    void build(const ResultBuilderColMajorParam& first, const ResultBuilderColMajorParam& second) override;
    void build(const ResultBuilderRowMajorParam& first, const ResultBuilderRowMajorParam& second) override;
    void build(const ResultBuilderColMajorParam& param) override;
    void build(const ResultBuilderRowMajorParam& param) override;
    void build(std::size_t count, const int* values) override;
    void build(std::size_t count, const float* values) override;
    void build(std::size_t count, const double* values) override;

    // Float array `index` itself when any float array was delivered, else a float copy of double
    // array `index`; empty when neither exists or index is outside the chosen list.
    std::shared_ptr<std::vector<float>> getFloatVector(int index);

private:
    std::vector<double> intervalStarts;
    std::vector<double> intervalEnds;
    std::vector<std::shared_ptr<std::vector<double>>> doubleArrays;
    std::vector<std::shared_ptr<std::vector<float>>> floatArrays;
    std::vector<std::shared_ptr<std::vector<int>>> intArrays;
};

}  // namespace CoreIo
