#pragma once
// A memory loader that records the location id of each loadMesh and loadResult call made on it
// before serving it, and can be told to deliver no meshes at all.

#include "MemoryLoader.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace AlignmentTestSupport {

class RecordingLoader : public CoreIo::MemoryLoader {
public:
    void withholdMeshes() { deliversMeshes_ = false; }
    const std::vector<std::int64_t>& loadedIds() const { return loadedIds_; }

    void loadResult(const CoreIo::DataLocation& where, CoreIo::ResultBuilderInterface& builder,
                    std::optional<std::int64_t> step) const override
    {
        loadedIds_.push_back(where.id);
        MemoryLoader::loadResult(where, builder, step);
    }
    void loadMesh(const CoreIo::MeshLocation& where, CoreIo::MeshBuilderInterface& builder) const override
    {
        loadedIds_.push_back(where.id);
        if (deliversMeshes_)
            MemoryLoader::loadMesh(where, builder);
    }

private:
    mutable std::vector<std::int64_t> loadedIds_;
    bool deliversMeshes_ = true;
};

}  // namespace AlignmentTestSupport
