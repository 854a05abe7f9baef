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

    void withholdMeshes() { deliversMeshes_ = false; }
    const std::vector<Call>& calls() const { return calls_; }

    void loadResult(const CoreIo::DataLocation& where, CoreIo::ResultBuilderInterface& builder,
                    std::optional<std::int64_t> step) const override
    {
        calls_.push_back({Operation::loadResult, where.id, step});
        MemoryLoader::loadResult(where, builder, step);
    }
    void loadMesh(const CoreIo::MeshLocation& where, CoreIo::MeshBuilderInterface& builder) const override
    {
        calls_.push_back({Operation::loadMesh, where.id, std::nullopt});
        if (deliversMeshes_)
            MemoryLoader::loadMesh(where, builder);
    }

private:
    mutable std::vector<Call> calls_;
    bool deliversMeshes_ = true;
};

}  // namespace AlignmentTestSupport
