#pragma once
// The Exodus II loader under fuzzing: the input is a file. The loader may refuse it with
// CoreIo::LoadError; if it opens it, every body is loaded into the mesh builder, the tool mesh
// builder and the results builder, and read with its initial coordinates, and every operation may
// again fail only with LoadError or the builders' documented refusals. Builders must honour what
// they promise (FuzzChecks.h). Shared by the fuzz target and the regression test.

#include <cstddef>
#include <cstdint>

namespace CoreIoFuzz {

// How far one input got, for tests that check a seed is worth its place in the corpus.
struct ExodusFuzzOutcome {
    bool opened = false;
    std::size_t bodies = 0;        // bodies of the file
    std::size_t meshes = 0;        // built by the mesh builder
    std::size_t topologies = 0;    // loads into the tool mesh builder that returned
    std::size_t resultArrays = 0;  // float arrays read back from the results builder
    std::size_t validBodies = 0;   // readMeshAndICs records that are valid
};

ExodusFuzzOutcome fuzzExodusLoader(const std::uint8_t* data, std::size_t size);

}  // namespace CoreIoFuzz
