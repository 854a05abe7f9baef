#include "ExodusBody.h"

#include <charconv>
#include <map>
#include <stdexcept>

namespace CoreIo {
namespace {

std::vector<std::string> splitAtCommas(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) {
            return parts;
        }
        start = comma + 1;
    }
}

const std::map<std::string, InitialCoordinateSource>& referenceSources()
{
    using Kind = InitialCoordinateSource::Kind;
    static const std::map<std::string, InitialCoordinateSource> sources{
        {"reference-yz", {Kind::ReferencePlane, {}, 0}},
        {"reference-zx", {Kind::ReferencePlane, {}, 1}},
        {"reference-xy", {Kind::ReferencePlane, {}, 2}},
        {"reference-cylinder-x", {Kind::ReferenceCylinder, {}, 0}},
        {"reference-cylinder-y", {Kind::ReferenceCylinder, {}, 1}},
        {"reference-cylinder-z", {Kind::ReferenceCylinder, {}, 2}}};
    return sources;
}

}  // namespace

std::vector<std::string> parseBlockSelection(const std::string& text)
{
    std::vector<std::string> blocks = splitAtCommas(text);
    for (const std::string& block : blocks) {
        if (block.empty()) {
            throw std::invalid_argument("a block selection is a comma list of block names or ids, not \"" + text +
                                        "\"");
        }
    }
    return blocks;
}

std::optional<std::int64_t> parseStep(const std::string& text)
{
    if (text == "last") {
        return std::nullopt;
    }
    std::int64_t step = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), step);
    if (error != std::errc() || end != text.data() + text.size() || step < 1) {
        throw std::invalid_argument("a step is \"last\" or a step number from 1, not \"" + text + "\"");
    }
    return step;
}

InitialCoordinateSource parseInitialCoordinateSource(const std::string& text)
{
    const auto reference = referenceSources().find(text);
    if (reference != referenceSources().end()) {
        return reference->second;
    }
    const std::vector<std::string> names = splitAtCommas(text);
    if (names.size() != 2 || names[0].empty() || names[1].empty() || text.rfind("reference-", 0) == 0) {
        throw std::invalid_argument("initial coordinates are two nodal variables NAME0,NAME1, reference-xy, "
                                    "reference-yz, reference-zx or reference-cylinder-x|y|z, not \"" +
                                    text + "\"");
    }
    return {InitialCoordinateSource::Kind::Variables, {names[0], names[1]}, 2};
}

std::string describeInitialCoordinateSource(const InitialCoordinateSource& source)
{
    for (const auto& [text, candidate] : referenceSources()) {
        if (candidate.kind == source.kind && candidate.axis == source.axis &&
            source.kind != InitialCoordinateSource::Kind::Variables) {
            return text;
        }
    }
    return source.variables[0] + "," + source.variables[1];
}

}  // namespace CoreIo
