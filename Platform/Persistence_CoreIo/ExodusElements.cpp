#include "ExodusElements.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace CoreIo {
namespace {

struct Family {
    std::string description;
    std::map<std::int64_t, SurfaceShape> shapes;  // by nodes per element
};

const Family& familyOfTriangles()
{
    static const Family family{
        "triangles", {{3, SurfaceShape::Triangle3}, {6, SurfaceShape::Triangle6}, {7, SurfaceShape::Triangle7}}};
    return family;
}

const Family& familyOfQuads()
{
    static const Family family{"quadrilaterals",
                               {{4, SurfaceShape::Quad4}, {8, SurfaceShape::Quad8}, {9, SurfaceShape::Quad9}}};
    return family;
}

const Family& familyOfShells()
{
    static const Family family{
        "shells",
        {{3, SurfaceShape::Triangle3}, {4, SurfaceShape::Quad4}, {8, SurfaceShape::Quad8}, {9, SurfaceShape::Quad9}}};
    return family;
}

// Element types name a family and may append its node count: TRI, TRI6, SHELL4.
const Family* familyOf(const std::string& stem)
{
    static const std::map<std::string, const Family*> families{
        {"TRI", &familyOfTriangles()}, {"TRIANGLE", &familyOfTriangles()}, {"TRISHELL", &familyOfTriangles()},
        {"QUAD", &familyOfQuads()},    {"QUADSHELL", &familyOfQuads()},    {"SHELL", &familyOfShells()}};
    const auto found = families.find(stem);
    return found == families.end() ? nullptr : found->second;
}

std::string upperCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string nodeCounts(const Family& family)
{
    std::string counts;
    for (const auto& entry : family.shapes) {
        counts += (counts.empty() ? "" : ", ") + std::to_string(entry.first);
    }
    return counts;
}

}  // namespace

std::size_t nodeCount(SurfaceShape shape)
{
    switch (shape) {
    case SurfaceShape::Triangle3: return 3;
    case SurfaceShape::Triangle6: return 6;
    case SurfaceShape::Triangle7: return 7;
    case SurfaceShape::Quad4: return 4;
    case SurfaceShape::Quad8: return 8;
    case SurfaceShape::Quad9: return 9;
    }
    return 0;
}

std::variant<SurfaceShape, std::string> classifyElement(const std::string& elementType, std::int64_t nodesPerElement)
{
    const std::string type = upperCase(elementType);
    const auto digits = std::find_if(type.begin(), type.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
    const std::string stated(digits, type.end());
    const Family* family = familyOf(std::string(type.begin(), digits));
    const bool countOnly = stated.size() <= 1 && std::all_of(stated.begin(), stated.end(),
                                                             [](unsigned char c) { return std::isdigit(c) != 0; });
    if (family == nullptr || !countOnly) {
        return elementType + " elements make no surface";
    }
    if (!stated.empty() && std::stoll(stated) != nodesPerElement) {
        return elementType + " elements with " + std::to_string(nodesPerElement) + " nodes contradict their type";
    }
    const auto shape = family->shapes.find(nodesPerElement);
    if (shape == family->shapes.end()) {
        return elementType + " elements with " + std::to_string(nodesPerElement) + " nodes are no known " +
               family->description + " (those have " + nodeCounts(*family) + " nodes)";
    }
    return shape->second;
}

}  // namespace CoreIo
