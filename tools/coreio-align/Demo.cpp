#include "Demo.h"

#include "ExodusWriter.h"
#include "AlignmentJob.h"
#include "Errors.h"
#include "Persistence_SkinBaseName.h"
#include "SampleBodies.h"

#include <filesystem>
#include <ostream>

namespace CoreIoAlign {
namespace {

std::vector<double> widened(const std::vector<float>& values)
{
    return {values.begin(), values.end()};
}

void writeSample(const std::string& path, const std::string& bodyName, const CoreIoSamples::SampleBody& sample)
{
    CoreIo::ExodusWriter writer(path);
    writer.addBody(bodyName, {widened(sample.x), widened(sample.y), widened(sample.z), sample.triangles,
                              widened(sample.nx), widened(sample.ny), widened(sample.nz)});
    writer.addNodalVariable(Calvora::SkinBaseName::INITIALCOORD0, {{widened(sample.initCoord0)}});
    writer.addNodalVariable(Calvora::SkinBaseName::INITIALCOORD1, {{widened(sample.initCoord1)}});
    writer.write();
}

struct DemoCase {
    std::string name;
    std::string title;
    CoreIoSamples::SampleBody before;
    CoreIoSamples::SampleBody after;
};

DemoCase sheetCase()
{
    const CoreIoSamples::SheetShape formed{1.2, 0.8, 0.10};
    const CoreIoSamples::SheetShape sprungBack{1.2, 0.8, 0.085};
    return {"sheet", "sheet: formed state against its springback state (meshed differently)",
            CoreIoSamples::makeSheet(formed, {60, 40, 0.0, 1}),
            CoreIoSamples::makeSheet(sprungBack, {48, 32, 0.15, 2})};
}

DemoCase tubeCase()
{
    const CoreIoSamples::TubeShape formed{1.0, 3.0, 1.0};
    const CoreIoSamples::TubeShape expanded{1.08, 3.0, 1.0};
    return {"tube", "tube: formed state against its expanded state (meshed differently, seam included)",
            CoreIoSamples::makeTube(formed, {48, 24, 0.0}), CoreIoSamples::makeTube(expanded, {40, 20, 0.37})};
}

int runCase(const DemoCase& demo, const std::filesystem::path& directory, std::ostream& out)
{
    const std::filesystem::path folder = directory / demo.name;
    std::filesystem::create_directories(folder);
    JobOptions job;
    job.beforeFile = (folder / "before.exo").string();
    job.afterFile = (folder / "after.exo").string();
    job.output = (folder / "aligned.exo").string();
    job.picture = (folder / "displacement.png").string();
    job.before.blocks = job.after.blocks = {demo.name};
    job.commandLine = "--demo";
    writeSample(job.beforeFile, demo.name, demo.before);
    writeSample(job.afterFile, demo.name, demo.after);

    // Without completion: every after vertex keeps its own status instead of a borrowed corner.
    JobOutcome outcome = runAlignmentJob(job);
    for (const std::string& note : outcome.notes)
        out << "  " << note << '\n';
    if (!outcome.report)
        throw std::runtime_error("the demo's " + demo.name + " case failed: " + outcome.message);
    outcome.report->title = demo.title;
    printReport(out, *outcome.report);
    out << "  inputs:        " << job.beforeFile << ", " << job.afterFile << "\n\n";
    return outcome.exitCode;
}

}  // namespace

int runDemo(const std::string& directory, std::ostream& out)
{
    int worst = exitDone;
    for (const DemoCase& demo : {sheetCase(), tubeCase()})
        worst = std::max(worst, runCase(demo, directory, out));
    return worst;
}

}  // namespace CoreIoAlign
