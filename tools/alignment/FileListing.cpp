#include "FileListing.h"

#include <iomanip>
#include <ostream>

namespace CoreIoAlign {
namespace {

void printNames(std::ostream& out, const std::string& title, const std::vector<std::string>& names)
{
    out << title << " (" << names.size() << "):";
    for (const std::string& name : names)
        out << ' ' << name;
    out << '\n';
}

void printBlocks(std::ostream& out, const std::vector<CoreIo::ExodusBlockListing>& blocks)
{
    out << "element blocks (" << blocks.size() << "):\n";
    for (const CoreIo::ExodusBlockListing& block : blocks) {
        out << "  id " << block.id << "  \"" << block.name << "\"  " << block.elementType << "  " << block.numElements
            << " elements, " << block.nodesPerElement << " nodes each, " << block.numNodes << " nodes  ";
        if (block.skipReason.empty())
            out << "used\n";
        else
            out << "skipped: " << block.skipReason << '\n';
    }
}

void printSteps(std::ostream& out, const std::vector<double>& times)
{
    out << "steps (" << times.size() << "):";
    for (std::size_t k = 0; k < times.size(); ++k)
        out << ' ' << k + 1 << ":t=" << times[k];
    out << '\n';
}

}  // namespace

void printListing(std::ostream& out, const std::string& path, const CoreIo::ExodusListing& listing)
{
    const auto flags = out.flags();
    out << std::setprecision(9);
    out << path << '\n'
        << "format: " << listing.format << ", " << listing.wordSize << "-byte floating-point values, "
        << listing.numDimensions << " dimensions, " << listing.numNodes << " nodes\n";
    printBlocks(out, listing.blocks);
    printNames(out, "nodal variables", listing.nodalVariables);
    printNames(out, "element variables", listing.elementVariables);
    printSteps(out, listing.stepTimes);
    out.flags(flags);
}

}  // namespace CoreIoAlign
