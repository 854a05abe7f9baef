#include "ExodusVariables.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace CoreIo {
namespace {

std::string upperCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

constexpr std::array<char, 3> axisLetters{'X', 'Y', 'Z'};

// Whether name is a component of stem: STEM_X or STEMX, the axis letter in any case, the stem
// matched exactly or without regard to case.
bool isComponent(const std::string& name, const std::string& stem, char axis, bool exactCase)
{
    if (name.size() != stem.size() + 1 && name.size() != stem.size() + 2) {
        return false;
    }
    const std::string prefix = name.substr(0, stem.size());
    const bool stemMatches = exactCase ? prefix == stem : upperCase(prefix) == upperCase(stem);
    const bool separated = name.size() == stem.size() + 1 || name[stem.size()] == '_';
    return stemMatches && separated && std::toupper(static_cast<unsigned char>(name.back())) == axis;
}

// Every variable that is a component of the stem, per axis, 1-based.
using Candidates = std::array<std::vector<int>, 3>;
Candidates componentsOf(const std::vector<std::string>& names, const std::string& stem, bool exactCase)
{
    Candidates candidates;
    for (std::size_t v = 0; v < names.size(); ++v) {
        for (std::size_t c = 0; c < 3; ++c) {
            if (isComponent(names[v], stem, axisLetters[c], exactCase)) {
                candidates[c].push_back(static_cast<int>(v) + 1);
            }
        }
    }
    return candidates;
}

// The first candidate of each axis; 0 where there is none.
std::array<int, 3> firstOf(const Candidates& candidates)
{
    std::array<int, 3> indices{};
    for (std::size_t c = 0; c < 3; ++c) {
        indices[c] = candidates[c].empty() ? 0 : candidates[c].front();
    }
    return indices;
}

bool complete(const std::array<int, 3>& indices, int numDimensions)
{
    return std::all_of(indices.begin(), indices.begin() + numDimensions, [](int index) { return index > 0; });
}

std::string foundNames(const std::vector<std::string>& names, const std::array<int, 3>& indices)
{
    std::string found;
    for (const int index : indices) {
        if (index > 0) {
            found += (found.empty() ? "" : ", ") + names[static_cast<std::size_t>(index - 1)];
        }
    }
    return found.empty() ? "none of them" : found;
}

// The stem of a name that looks like a displacement component, as the name spells it:
// DISPL_X -> DISPL, disp_x -> disp.
std::optional<std::string> displacementStem(const std::string& name)
{
    const std::string upper = upperCase(name);
    if (upper.size() < 4 || upper.rfind("DIS", 0) != 0 ||
        std::find(axisLetters.begin(), axisLetters.end(), upper.back()) == axisLetters.end()) {
        return std::nullopt;
    }
    std::string stem = name.substr(0, name.size() - 1);
    if (stem.back() == '_') {
        stem.pop_back();
    }
    return stem;
}

struct Triple {
    std::string stem;
    std::array<int, 3> indices;
};

[[noreturn]] void refuseAmbiguity(const std::vector<std::string>& names, const std::vector<Triple>& triples)
{
    std::string found;
    std::string stems;
    for (std::size_t k = 0; k < triples.size(); ++k) {
        const std::string separator = k == 0 ? "" : k + 1 == triples.size() ? " and " : "; ";
        found += separator + foundNames(names, triples[k].indices);
        stems += separator + triples[k].stem;
    }
    throw std::invalid_argument("its displacement is ambiguous: " + found +
                                " are each a complete triple; choose one as the displacement by its stem (" + stems +
                                ")");
}

// The displacement triples of the names' stems, spelled as they are or, if none is complete so, in
// any case. Several complete triples are ambiguous.
std::optional<std::array<int, 3>> findAutomaticDisplacement(const std::vector<std::string>& names, int numDimensions)
{
    std::optional<std::array<int, 3>> partial;
    for (const bool exactCase : {true, false}) {
        std::vector<Triple> triples;
        for (const std::string& name : names) {
            const std::optional<std::string> stem = displacementStem(name);
            if (!stem) {
                continue;
            }
            const std::array<int, 3> indices = firstOf(componentsOf(names, *stem, exactCase));
            const bool known = std::any_of(triples.begin(), triples.end(),
                                           [&](const Triple& triple) { return triple.indices == indices; });
            if (complete(indices, numDimensions) && !known) {
                triples.push_back({exactCase ? *stem : upperCase(*stem), indices});
            } else if (!complete(indices, numDimensions)) {
                partial = partial.value_or(indices);
            }
        }
        if (triples.size() > 1) {
            refuseAmbiguity(names, triples);
        }
        if (triples.size() == 1) {
            return triples.front().indices;
        }
    }
    if (partial) {
        throw std::invalid_argument("its displacement variables are incomplete: it has " + foundNames(names, *partial) +
                                    "; name a complete triple by its stem, or choose none");
    }
    return std::nullopt;
}

// The triple of a stem as spelled or, if it is not complete so, in any case: then the names must
// not spell it in several ways.
std::array<int, 3> namedDisplacement(const std::vector<std::string>& names, const std::string& stem, int numDimensions)
{
    const std::array<int, 3> exact = firstOf(componentsOf(names, stem, true));
    if (complete(exact, numDimensions)) {
        return exact;
    }
    const Candidates anyCase = componentsOf(names, stem, false);
    std::vector<Triple> spellings;
    for (const int candidate : anyCase[0]) {
        const std::string spelled = names[static_cast<std::size_t>(candidate - 1)].substr(0, stem.size());
        if (std::none_of(spellings.begin(), spellings.end(), [&](const Triple& t) { return t.stem == spelled; })) {
            spellings.push_back({spelled, firstOf(componentsOf(names, spelled, true))});
        }
    }
    if (spellings.size() > 1) {
        refuseAmbiguity(names, spellings);
    }
    return firstOf(anyCase);
}

}  // namespace

std::optional<int> findVariable(const std::vector<std::string>& names, const std::string& name)
{
    auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end()) {
        found = std::find_if(names.begin(), names.end(),
                             [&](const std::string& candidate) { return upperCase(candidate) == upperCase(name); });
    }
    if (found == names.end()) {
        return std::nullopt;
    }
    return static_cast<int>(found - names.begin()) + 1;
}

std::optional<std::array<int, 3>> findDisplacement(const std::vector<std::string>& names, const std::string& choice,
                                                   int numDimensions)
{
    if (choice == "none") {
        return std::nullopt;
    }
    if (choice == "auto") {
        return findAutomaticDisplacement(names, numDimensions);
    }
    const std::array<int, 3> indices = namedDisplacement(names, choice, numDimensions);
    if (!complete(indices, numDimensions)) {
        throw std::invalid_argument("it has no complete displacement triple " + choice + "_X, " + choice + "_Y, " +
                                    choice + "_Z (found " + foundNames(names, indices) + ")");
    }
    return indices;
}

std::optional<std::array<int, 3>> findNormalVariables(const std::vector<std::string>& names)
{
    static const std::array<std::array<const char*, 3>, 2> schemes{
        {{"NORMAL_X", "NORMAL_Y", "NORMAL_Z"}, {"NX", "NY", "NZ"}}};
    for (const auto& scheme : schemes) {
        std::array<int, 3> indices{};
        for (std::size_t c = 0; c < 3; ++c) {
            const auto found = std::find(names.begin(), names.end(), scheme[c]);
            indices[c] = found == names.end() ? 0 : static_cast<int>(found - names.begin()) + 1;
        }
        if (complete(indices, 3)) {
            return indices;
        }
    }
    return std::nullopt;
}

std::array<std::vector<double>, 2> referenceInitialCoordinates(const Positions& reference,
                                                               const InitialCoordinateSource& source)
{
    const auto axis = static_cast<std::size_t>(source.axis);
    const std::size_t u = (axis + 1) % 3;
    const std::size_t v = (axis + 2) % 3;
    const std::size_t count = reference[0].size();
    if (source.kind == InitialCoordinateSource::Kind::ReferencePlane) {
        return {reference[u], reference[v]};
    }
    // Around the axis through the centroid; R is the nodes' mean distance from it.
    double centreU = 0.0;
    double centreV = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        centreU += reference[u][i] / static_cast<double>(count);
        centreV += reference[v][i] / static_cast<double>(count);
    }
    std::vector<double> angles(count);
    double radius = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double du = reference[u][i] - centreU;
        const double dv = reference[v][i] - centreV;
        const double angle = std::atan2(dv, du);
        angles[i] = angle < 0.0 ? angle + 2.0 * std::numbers::pi : angle;
        radius += std::hypot(du, dv) / static_cast<double>(count);
    }
    for (double& angle : angles) {
        angle *= radius;
    }
    return {std::move(angles), reference[axis]};
}

}  // namespace CoreIo
