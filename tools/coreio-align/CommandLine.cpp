#include "CommandLine.h"

#include <CLI/CLI.hpp>

#include "BodyAlignment.h"

namespace CoreIoAlign {
namespace {

// The options as typed, before their values are understood.
struct TypedOptions {
    std::vector<std::string> files;
    std::string body, beforeBody, afterBody;
    std::string step = "last", beforeStep, afterStep;
    std::string displacement = "auto";
    std::string initialCoordinates = "INITIALCOORD0,INITIALCOORD1";
    std::string tube = "auto";
    std::string map = "all";
};

const char* description()
{
    return "coreio-align BEFORE.exo AFTER.exo [options] | --list FILE | --demo [-o DIR]\n\n"
           "Relates a body before and after a process step through its initial (material) coordinates\n"
           "and reports how the two states match. A body is made of the surface blocks of an Exodus II\n"
           "file (triangles, quadrilaterals and their higher-order forms); its shape at a step is the\n"
           "coordinates plus the displacement at that step.\n"
           "Every after vertex is coincident (a before vertex at its material point), inside (in a before\n"
           "triangle), near (outside the before body, within the search distance) or outside (not located).\n"
           "Exit codes: 0 done; 1 bad input (nothing written); 2 bad usage (nothing written);\n"
           "3 alignment below --min-coverage (output written, outside vertices flagged).\n"
           "SPDLOG_LEVEL=trace shows the library's trace messages; --verbose shows its lines whole.";
}

void addOptions(CLI::App& app, Options& options, TypedOptions& typed)
{
    app.set_help_flag("-h,--help", "show this help and exit");
    app.add_option("files", typed.files, "BEFORE.exo AFTER.exo")->type_name("");
    app.get_formatter()->column_width(32);
    app.add_flag("--version", options.version, "show the version and exit");
    JobOptions& job = options.job;
    app.add_option("--list", options.list, "describe FILE: format, blocks, variables, steps")
        ->type_name("FILE")
        ->group("Files");
    app.add_flag("--demo", options.demo, "generate a sheet and a tube case, align them through files in -o DIR")
        ->group("Files");
    app.add_option("-o", job.output,
                   "write the after body with the aligned shape, DISPL_X/Y/Z/MAG, INITIALCOORD0/1,\n"
                   "MATCH_STATUS, MATCHED_NODE_ID and the mapped BEFORE_<NAME> fields")
        ->type_name("OUT.exo|DIR")
        ->group("Files");
    app.add_option("--png", job.picture, "draw the displacement magnitude in the material plane")
        ->type_name("FILE")
        ->group("Files");
    app.add_flag("--verbose", options.verbose, "show the library's log lines whole")->group("Files");

    const std::string bodies = "Bodies (SEL: comma list of block names or ids; default: every surface block)";
    app.add_option("--body", typed.body, "the blocks of the body in both files")->type_name("SEL")->group(bodies);
    app.add_option("--before-body", typed.beforeBody, "the blocks in BEFORE.exo")->type_name("SEL")->group(bodies);
    app.add_option("--after-body", typed.afterBody, "the blocks in AFTER.exo")->type_name("SEL")->group(bodies);

    const std::string steps = "Steps (N counts from 1)";
    app.add_option("--step", typed.step, "the step of both files")
        ->type_name("N|last")
        ->capture_default_str()
        ->group(steps);
    app.add_option("--before-step", typed.beforeStep, "the step of BEFORE.exo")->type_name("N|last")->group(steps);
    app.add_option("--after-step", typed.afterStep, "the step of AFTER.exo")->type_name("N|last")->group(steps);

    const std::string shape = "Shape and initial coordinates";
    app.add_option("--displacement", typed.displacement,
                   "auto: the nodal triple DIS..X/Y/Z; none; or STEM for STEM_X, STEM_Y, STEM_Z")
        ->type_name("auto|none|STEM")
        ->capture_default_str()
        ->group(shape);
    app.add_option("--ic", typed.initialCoordinates,
                   "two nodal variables, or from the reference coordinates: reference-xy|yz|zx (a flat\n"
                   "blank), reference-cylinder-x|y|z (a tube; R * angle and axial position)")
        ->type_name("NAME0,NAME1|reference-...")
        ->capture_default_str()
        ->group(shape);

    app.add_option("--tube", typed.tube, "auto: detect tube-shaped parts (yes with reference-cylinder ICs)")
        ->check(CLI::IsMember({"auto", "yes", "no"}).description(""))
        ->type_name("auto|yes|no")
        ->capture_default_str()
        ->group("Alignment");
    app.add_flag("--complete", job.complete, "give every vertex a match, through the nearest vertex when needed")
        ->group("Alignment");
    app.add_option("--min-coverage", job.minCoverage, "share of after vertices that must be located; below it: exit 3")
        ->check(CLI::Range(0.0, 1.0).description(""))
        ->type_name("F")
        ->capture_default_str()
        ->group("Alignment");
    app.add_option("--map", typed.map, "variables of BEFORE.exo carried to the output as BEFORE_<NAME>")
        ->type_name("all|none|VAR,...")
        ->capture_default_str()
        ->group("Alignment");
}

std::optional<std::vector<std::string>> mappedVariables(const std::string& choice)
{
    if (choice == "all")
        return std::nullopt;
    if (choice == "none")
        return std::vector<std::string>{};
    try {
        return CoreIo::parseBlockSelection(choice);  // the same comma list without empty entries
    } catch (const std::invalid_argument&) {
        throw UsageError("--map: expected all, none or a comma list of variable names, got '" + choice + "'");
    }
}

// A parser of the platform's that refuses with std::invalid_argument, for one option's value.
template <typename Parse>
auto understood(const std::string& option, const std::string& value, Parse parse)
{
    try {
        return parse(value);
    } catch (const std::invalid_argument& error) {
        throw UsageError(option + ": " + error.what());
    }
}

// One option for both files or one for each, not both ways at once.
void requireOneWay(const std::string& both, const std::string& bothValue, const std::string& before,
                   const std::string& beforeValue, const std::string& after, const std::string& afterValue)
{
    if (!bothValue.empty() && (!beforeValue.empty() || !afterValue.empty()))
        throw UsageError(both + " cannot be combined with " + before + " or " + after);
}

void understand(const TypedOptions& typed, Options& options)
{
    requireOneWay("--body", typed.body, "--before-body", typed.beforeBody, "--after-body", typed.afterBody);
    requireOneWay("--step", typed.step == "last" ? "" : typed.step, "--before-step", typed.beforeStep, "--after-step",
                  typed.afterStep);
    JobOptions& job = options.job;
    job.tube = parseTubeMode(typed.tube);
    const auto blocks = [](const std::string& option, const std::string& value) {
        return value.empty() ? std::vector<std::string>{} : understood(option, value, CoreIo::parseBlockSelection);
    };
    job.before.blocks = blocks("--before-body", typed.body.empty() ? typed.beforeBody : typed.body);
    job.after.blocks = blocks("--after-body", typed.body.empty() ? typed.afterBody : typed.body);
    const std::string beforeStep = typed.beforeStep.empty() ? typed.step : typed.beforeStep;
    const std::string afterStep = typed.afterStep.empty() ? typed.step : typed.afterStep;
    job.before.step = understood("--before-step", beforeStep, CoreIo::parseStep);
    job.after.step = understood("--after-step", afterStep, CoreIo::parseStep);
    job.before.displacement = job.after.displacement = typed.displacement;
    job.before.initialCoordinates = job.after.initialCoordinates = understood("--ic", typed.initialCoordinates,
                                                                              CoreIo::parseInitialCoordinateSource);
    job.mappedVariables = mappedVariables(typed.map);
}

void checkConsistency(const Options& options, const std::vector<std::string>& files)
{
    if (options.help || options.version)
        return;
    if (options.demo || options.list) {
        if (!files.empty())
            throw UsageError(std::string(options.demo ? "--demo" : "--list") + " takes no input files");
        if (options.demo && options.list)
            throw UsageError("--demo cannot be combined with --list");
        return;
    }
    if (files.size() != 2)
        throw UsageError("expected two input files, BEFORE.exo and AFTER.exo");
}

}  // namespace

Options parseCommandLine(const std::vector<std::string>& arguments)
{
    Options options;
    TypedOptions typed;
    CLI::App app(description(), "coreio-align");
    addOptions(app, options, typed);
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());  // CLI11 takes them from the back
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
        return options;
    } catch (const CLI::ParseError& error) {
        throw UsageError(error.what());
    }
    understand(typed, options);
    checkConsistency(options, typed.files);
    if (typed.files.size() == 2) {
        options.job.beforeFile = typed.files[0];
        options.job.afterFile = typed.files[1];
    }
    return options;
}

std::string usageText()
{
    Options options;
    TypedOptions typed;
    CLI::App app(description(), "coreio-align");
    addOptions(app, options, typed);
    return app.help();
}

}  // namespace CoreIoAlign
