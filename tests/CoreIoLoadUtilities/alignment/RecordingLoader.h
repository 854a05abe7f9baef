#pragma once
// A memory loader that records each loadMesh and loadResult call made on it before serving it,
// and can be told to deliver no meshes at all.

#include "MemoryLoader.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace AlignmentTestSupport {

class RecordingLoader : public CoreIo::MemoryLoader {
public:
    enum class Operation { loadMesh, loadResult };

    struct Call {
        Operation operation;
        std::int64_t locationId;
        std::optional<std::int64_t> step;  // as passed to loadResult

        bool operator==(const Call&) const = default;
    };

    void withholdMeshes();
    const std::vector<Call>& calls() const;

    void loadResult(const CoreIo::DataLocation& where, CoreIo::ResultBuilderInterface& builder,
                    std::optional<std::int64_t> step) const override;
    void loadMesh(const CoreIo::MeshLocation& where, CoreIo::MeshBuilderInterface& builder) const override;

private:
    mutable std::vector<Call> calls_;
    bool deliversMeshes_ = true;
};

}  // namespace AlignmentTestSupport
