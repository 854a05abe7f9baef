#include "Text.h"

#include <algorithm>
#include <cctype>

namespace CoreIoAlign {

bool equalIgnoringCase(const std::string& a, const std::string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](unsigned char x, unsigned char y) { return std::toupper(x) == std::toupper(y); });
}

std::string joined(const std::vector<std::string>& words, const std::string& separator, const std::string& empty)
{
    if (words.empty())
        return empty;
    std::string text = words.front();
    for (std::size_t k = 1; k < words.size(); ++k)
        text += separator + words[k];
    return text;
}

std::string counted(std::size_t count, const std::string& singular, const std::string& plural)
{
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

}  // namespace CoreIoAlign
