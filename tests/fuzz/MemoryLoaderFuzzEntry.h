#pragma once
// The in-memory loader under fuzzing: the input is a registration program (MemoryLoaderProgram.h).
// Every refusal must be std::invalid_argument; every body registered is then loaded into every
// builder, read with its initial coordinates, and aligned as the program asks. Builders must
// honour what they promise (MeshChecks.h). Shared by the fuzz target and the regression test.

#include <cstddef>
#include <cstdint>

namespace CoreIoFuzz {

// How far one input got, for tests that check a program does what it was written for.
struct MemoryFuzzOutcome {
    std::size_t bodies = 0;          // registered
    std::size_t results = 0;         // registered
    std::size_t curves = 0;          // registered
    std::size_t refusals = 0;        // registrations refused
    std::size_t meshes = 0;          // built by the mesh builder without a refusal
    std::size_t toolMeshes = 0;      // built by the tool mesh builder with normals
    std::size_t polyLines = 0;       // of either kind
    std::size_t resultArrays = 0;    // float arrays read back from the results builder
    std::size_t validBodies = 0;     // readMeshAndICs records that are valid
    std::size_t alignments = 0;      // getMeshAlignResult calls that returned a matching
    std::size_t failedAlignments = 0;  // getMeshAlignResult calls that threw
};

MemoryFuzzOutcome fuzzMemoryLoader(const std::uint8_t* data, std::size_t size);

}  // namespace CoreIoFuzz
