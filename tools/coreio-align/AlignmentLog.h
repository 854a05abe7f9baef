#pragma once
// Listens to the alignment's module logger while it lives, to learn what the alignment decided
// (tube or not, the biggest square error). What the user's SPDLOG_LEVEL shows is left unchanged.

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace spdlog { class logger; namespace sinks { class sink; } }

namespace CoreIoAlign {

class CollectingSink;

class AlignmentLog {
public:
    AlignmentLog();
    ~AlignmentLog();
    AlignmentLog(const AlignmentLog&) = delete;
    AlignmentLog& operator=(const AlignmentLog&) = delete;

    std::vector<std::string> messages() const;  // everything logged since construction
    std::optional<bool> tubeDetected() const;   // set when the alignment decided it
    std::optional<double> biggestSquareError() const;

private:
    std::shared_ptr<spdlog::logger> logger_;
    std::shared_ptr<CollectingSink> sink_;
    int previousLevel_ = 0;
    std::vector<std::pair<std::shared_ptr<spdlog::sinks::sink>, int>> previousSinkLevels_;
};

}  // namespace CoreIoAlign
