#include "RecordingLoader.h"

namespace AlignmentTestSupport {

void RecordingLoader::withholdMeshes()
{
    deliversMeshes_ = false;
}

const std::vector<RecordingLoader::Call>& RecordingLoader::calls() const
{
    return calls_;
}

void RecordingLoader::loadResult(const CoreIo::DataLocation& where, CoreIo::ResultBuilderInterface& builder,
                                 std::optional<std::int64_t> step) const
{
    calls_.push_back({Operation::loadResult, where.id, step});
    MemoryLoader::loadResult(where, builder, step);
}

void RecordingLoader::loadMesh(const CoreIo::MeshLocation& where, CoreIo::MeshBuilderInterface& builder) const
{
    calls_.push_back({Operation::loadMesh, where.id, std::nullopt});
    if (deliversMeshes_)
        MemoryLoader::loadMesh(where, builder);
}

}  // namespace AlignmentTestSupport
