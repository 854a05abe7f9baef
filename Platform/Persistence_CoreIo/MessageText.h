#pragma once
// How the loaders and the writer of this library spell names, paths and sources in the messages
// of their exceptions and warnings. Internal: not installed.

#include <string>

namespace CoreIo {

// Text in double quotes, as messages quote names, paths and sources.
inline std::string inQuotes(const std::string& text)
{
    return "\"" + text + "\"";
}

// A message about a file: Exodus file "<path>": <what>.
inline std::string aboutFile(const std::string& path, const std::string& what)
{
    return "Exodus file " + inQuotes(path) + ": " + what;
}

}  // namespace CoreIo
