#pragma once
// What a fuzz run checks beyond the absence of crashes: that an operation fails only in the ways
// its interface documents, and that a built mesh has a sound structure and holds the values its
// loader handed over. A failed check throws BrokenPromise, which no harness catches, so the fuzzer
// reports it like a crash.

#include "Business_BaseGeometry.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace CoreIoFuzz {

class BrokenPromise : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// Runs operation; true if it returned, false if it threw one of the Expected exception types.
// Any other exception passes through.
template <typename Expected, typename... MoreExpected, typename Operation>
bool completes(Operation&& operation)
{
    try {
        if constexpr (sizeof...(MoreExpected) == 0) {
            operation();
            return true;
        } else {
            return completes<MoreExpected...>(operation);
        }
    } catch (const Expected&) {
        return false;
    }
}

// Throws BrokenPromise with `promise` when `kept` is false; `item` names the vertex, triangle or
// point concerned. Messages are composed only on failure: checks run once per item.
void expect(bool kept, const char* promise);
void expect(bool kept, const char* promise, std::size_t item);

// A float widened exactly to double; NaN stands for any NaN. Points and vectors compare x, y, z.
bool isWidened(double stored, float given);
template <typename Xyz>
bool isWidened(const Xyz& stored, const float* given)
{
    return isWidened(stored.x, given[0]) && isWidened(stored.y, given[1]) && isWidened(stored.z, given[2]);
}

// Every vertex and triangle carries its position as index; every corner is a vertex of the mesh.
void checkMeshStructure(const Calvora::Mesh& mesh);
// numTriangles triangles whose corner k of triangle j is vertex triangles[3j + k].
void checkTriangles(const Calvora::Mesh& mesh, const std::vector<int>& triangles, std::size_t numTriangles);
// numNodes vertices at the positions x, y, z of the row-major `coordinates`.
void checkPositions(const Calvora::Mesh& mesh, const std::vector<float>& coordinates, std::size_t numNodes);

}  // namespace CoreIoFuzz
