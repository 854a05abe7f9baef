#include "AlignmentJob.h"

#include "AlignedFile.h"
#include "AlignmentPicture.h"
#include "Errors.h"
#include "ExodusLoader.h"
#include "OutputPath.h"
#include "Stopwatch.h"

#include <algorithm>
#include <sstream>

namespace CoreIoAlign {
namespace {

using CoreIoInternal::Stopwatch;

std::string belowCoverageMessage(const JobOptions& options, const Alignment& alignment)
{
    std::ostringstream message;
    message << "alignment below the coverage " << options.minCoverage << ": "
            << alignment.count(Calvora::MatchStatus::Outside) << " after vertices lie outside the before body; "
            << (options.output ? "they have MATCH_STATUS 3 in " + *options.output
                               : std::string("write -o OUT.exo to see them as MATCH_STATUS 3"))
            << (options.picture ? ", marked red in " + *options.picture : std::string(", or draw them with --png"));
    return message.str();
}

// Each distinct warning once: a pair of one file warns about it once.
void noteWarnings(const Body& body, JobOutcome& outcome)
{
    for (const std::string& warning : body.summary.warnings) {
        std::string note = "warning: " + warning;
        if (std::ranges::find(outcome.notes, note) == outcome.notes.end())
            outcome.notes.push_back(std::move(note));
    }
}

void run(const JobOptions& options, JobOutcome& outcome)
{
    const std::vector<std::string> inputs{options.beforeFile, options.afterFile};
    for (const auto& target : {options.output, options.picture})
        if (target)
            requireSafeOutput(*target, inputs);
    Stopwatch stopwatch;
    const Body before = readBody({options.beforeFile, options.before}, options.mappedVariables);
    noteWarnings(before, outcome);
    CoreIo::ExodusBodyOptions afterOptions = options.after;
    afterOptions.origin = before.origin;
    afterOptions.materialOrigin = before.materialOrigin;
    const Body after = readBody({options.afterFile, afterOptions}, std::vector<std::string>{});
    noteWarnings(after, outcome);
    const double readSeconds = stopwatch.lap();

    const Alignment alignment = alignBodies(before, after, options.tube, options.complete);
    const double alignSeconds = stopwatch.lap();

    AlignedFields fields = alignedFields(before, after, alignment);
    AlignmentReport report = describeAlignment(before, after, alignment, displacementFigures(fields, alignment));
    report.title = options.beforeFile + " -> " + options.afterFile;
    report.minCoverage = options.minCoverage;
    report.phases = {{"read", readSeconds}, {"align", alignSeconds}, {"fields", stopwatch.lap()}};
    // The writer takes the fields over; the picture needs only the magnitudes.
    const std::vector<double> magnitude = options.picture ? nodalField(fields, "DISPL_MAG").values
                                                          : std::vector<double>{};
    if (options.output) {
        writeAlignedFile(*options.output, before, after, std::move(fields), {"coreio-align " + options.commandLine});
        report.phases.push_back({"write", stopwatch.lap()});
        report.writtenFiles.push_back(*options.output);
    }
    if (options.picture) {
        drawAlignment(*options.picture, before, after, alignment, magnitude);
        report.phases.push_back({"picture", stopwatch.lap()});
        report.writtenFiles.push_back(*options.picture);
    }
    if (belowCoverage(report)) {
        outcome.exitCode = exitBelowCoverage;
        outcome.message = belowCoverageMessage(options, alignment);
    }
    outcome.report = std::move(report);
}

std::string blockArgument(const std::vector<std::string>& blocks)
{
    std::string list;
    for (const std::string& block : blocks)
        list += (list.empty() ? "" : ",") + block;
    return list;
}

std::string stepArgument(const std::optional<std::int64_t>& step)
{
    return step ? std::to_string(*step) : "last";
}

}  // namespace

std::string argumentsOf(const JobOptions& options)
{
    std::ostringstream arguments;
    arguments << options.beforeFile << ' ' << options.afterFile;
    if (options.output)
        arguments << " -o " << *options.output;
    if (options.picture)
        arguments << " --png " << *options.picture;
    for (const auto& [side, body] : {std::pair{"before", &options.before}, std::pair{"after", &options.after}}) {
        if (!body->blocks.empty())
            arguments << " --" << side << "-body " << blockArgument(body->blocks);
        arguments << " --" << side << "-step " << stepArgument(body->step);
    }
    arguments << " --displacement " << options.before.displacement << " --ic "
              << CoreIo::describeInitialCoordinateSource(options.before.initialCoordinates) << " --tube "
              << (options.tube == TubeMode::Auto  ? "auto"
                  : options.tube == TubeMode::Yes ? "yes"
                                                  : "no")
              << (options.complete ? " --complete" : "") << " --min-coverage " << options.minCoverage << " --map "
              << (!options.mappedVariables           ? "all"
                  : options.mappedVariables->empty() ? "none"
                                                     : blockArgument(*options.mappedVariables));
    return arguments.str();
}

JobOutcome runAlignmentJob(const JobOptions& options)
{
    JobOutcome outcome;
    try {
        run(options, outcome);
    } catch (const UsageError& error) {
        outcome = {exitBadUsage, error.what(), std::nullopt, std::move(outcome.notes)};
    } catch (const std::exception& error) {
        outcome = {exitBadInput, error.what(), std::nullopt, std::move(outcome.notes)};
    }
    return outcome;
}

}  // namespace CoreIoAlign
