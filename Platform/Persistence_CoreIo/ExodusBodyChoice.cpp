#include "ExodusBodyChoice.h"

#include "ExodusVariables.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace CoreIo {

std::string blockList(const ExodusListing& listing)
{
    std::string list;
    for (const ExodusBlockListing& block : listing.blocks) {
        list += (list.empty() ? "" : "; ") + std::string("id ") + std::to_string(block.id) + " " +
                inQuotes(block.name) + " (" + block.elementType +
                (block.skipReason.empty() ? "" : ", skipped: " + block.skipReason) + ")";
    }
    return list.empty() ? "none" : list;
}

std::vector<std::size_t> selectBlocks(const ExodusFileReader& file, const std::vector<std::string>& selection)
{
    const std::vector<ExodusBlockListing>& blocks = file.listing().blocks;
    std::vector<bool> chosen(blocks.size(), selection.empty());
    for (const std::string& wanted : selection) {
        const auto named = [&](const ExodusBlockListing& block) { return block.name == wanted; };
        auto found = std::find_if(blocks.begin(), blocks.end(), named);
        if (found != blocks.end() && std::find_if(found + 1, blocks.end(), named) != blocks.end()) {
            file.fail("has several element blocks named " + inQuotes(wanted) +
                      "; choose one by its id: " + blockList(file.listing()));
        }
        if (found == blocks.end()) {
            found = std::find_if(blocks.begin(), blocks.end(),
                                 [&](const ExodusBlockListing& block) { return wanted == std::to_string(block.id); });
        }
        if (found == blocks.end()) {
            file.fail("has no element block named or numbered " + inQuotes(wanted) +
                      "; choose among its blocks: " + blockList(file.listing()));
        }
        const auto b = static_cast<std::size_t>(found - blocks.begin());
        if (!file.surfaceShape(b)) {
            file.fail(file.blockDescription(b) + " cannot be part of a body: " + found->skipReason +
                      "; choose among its blocks: " + blockList(file.listing()));
        }
        chosen[b] = true;
    }
    std::vector<std::size_t> selected;
    for (std::size_t b = 0; b < chosen.size(); ++b) {
        if (chosen[b] && file.surfaceShape(b)) {
            selected.push_back(b);
        }
    }
    if (selected.empty()) {
        file.fail("holds no surface block to make a body of; its blocks: " + blockList(file.listing()));
    }
    return selected;
}

std::optional<std::array<int, 3>> resolveDisplacement(const ExodusFileReader& file, const std::string& choice)
{
    if (numSteps(file) == 0 && choice != "auto" && choice != "none") {
        file.fail("has no time step, so it holds no displacement " + inQuotes(choice));
    }
    if (numSteps(file) == 0) {
        return std::nullopt;
    }
    try {
        return findDisplacement(file.listing().nodalVariables, choice, file.listing().numDimensions);
    } catch (const std::invalid_argument& error) {
        file.fail(error.what());
    }
}

void resolveInitialCoordinates(const ExodusFileReader& file, ExodusLoaderBody& body,
                               const InitialCoordinateSource& source)
{
    body.initialCoordinates = source;
    if (source.kind != InitialCoordinateSource::Kind::Variables) {
        body.description.initialCoordinates = describeInitialCoordinateSource(source);
        return;
    }
    const std::vector<std::string>& names = file.listing().nodalVariables;
    const std::optional<int> first = findVariable(names, source.variables[0]);
    const std::optional<int> second = findVariable(names, source.variables[1]);
    if (first && second && numSteps(file) > 0) {
        body.initialCoordinateVariables = {*first, *second};
        body.description.initialCoordinates = names[static_cast<std::size_t>(*first - 1)] + "," +
                                              names[static_cast<std::size_t>(*second - 1)];
    }
}

namespace {

// The nodal variables a body's shape and material coordinates come from, 1-based.
std::vector<int> usedVariables(const ExodusLoaderBody& body, const std::optional<std::array<int, 3>>& normals)
{
    std::vector<int> used;
    for (const std::optional<std::array<int, 3>>& triple : {body.displacement, normals}) {
        if (triple) {
            std::copy_if(triple->begin(), triple->end(), std::back_inserter(used), [](int v) { return v > 0; });
        }
    }
    if (body.initialCoordinates.kind == InitialCoordinateSource::Kind::Variables &&
        body.description.initialCoordinates) {
        used.insert(used.end(), body.initialCoordinateVariables.begin(), body.initialCoordinateVariables.end());
    }
    return used;
}

}  // namespace

void resolveLastWrittenStep(const ExodusFileReader& file, const std::optional<std::array<int, 3>>& normals,
                            ExodusLoaderBody& body)
{
    const std::vector<int> used = usedVariables(body, normals);
    const std::int64_t last = numSteps(file);
    body.description.step = last;
    for (std::int64_t step = last; step >= 1; --step) {
        const bool written = std::all_of(used.begin(), used.end(), [&](int variable) {
            const std::vector<double> values = readStoredVariable(file, body, step, variable);
            const double fill = file.nodalFillValue(static_cast<std::size_t>(variable - 1));
            return std::find(values.begin(), values.end(), fill) == values.end();
        });
        if (written) {
            body.description.step = step;
            body.description.unwrittenStepsSkipped = last - step;
            return;
        }
    }
}

}  // namespace CoreIo
