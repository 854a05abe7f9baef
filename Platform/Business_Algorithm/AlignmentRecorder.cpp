#include "Recording.h"

namespace Calvora {
namespace {

thread_local AlignmentRecorder* innermostRecorder = nullptr;

}  // namespace

std::optional<AlignmentRecord>* innermostRecordSlot()
{
    return innermostRecorder != nullptr ? &innermostRecorder->record_ : nullptr;
}

AlignmentRecorder::AlignmentRecorder() : outer_(innermostRecorder)
{
    innermostRecorder = this;
}

AlignmentRecorder::~AlignmentRecorder()
{
    innermostRecorder = outer_;
}

std::optional<AlignmentRecord> AlignmentRecorder::take()
{
    std::optional<AlignmentRecord> taken = std::move(record_);
    record_.reset();
    return taken;
}

}  // namespace Calvora
