#pragma once
// The Exodus II loader under fuzzing: the input is a file. The loader may refuse it with
// CoreIo::LoadError; if it opens it, every body is loaded into the mesh builder and the results
// builder and read with its initial coordinates, each of which may again fail only with LoadError
// or a builder's CvException. A built mesh must be sound: every triangle corner a vertex of its
// mesh, one result value per node. A broken promise throws BrokenPromise, which nothing catches,
// so the fuzzer reports it like a crash. Shared by the fuzz target and the test that replays the
// stored inputs.

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace CoreIoFuzz {

class BrokenPromise : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// How far one input got, for the test that checks the seeds still reach what they were made for.
struct ExodusFuzzOutcome {
    bool opened = false;
    std::size_t meshes = 0;        // built by the mesh builder
    std::size_t resultArrays = 0;  // float arrays read back from the results builder
    std::size_t validBodies = 0;   // readMeshAndICs records that are valid
};

ExodusFuzzOutcome fuzzExodusLoader(const std::uint8_t* data, std::size_t size);

}  // namespace CoreIoFuzz
