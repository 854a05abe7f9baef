#include "StoredInputs.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace CoreIoFuzz {

namespace {

std::filesystem::path corpusOf(const std::string& target)
{
    return std::filesystem::path(COREIO_TEST_DATA_DIR) / "fuzz" / target;
}

}  // namespace

std::vector<std::string> storedInputs(const std::string& target)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(corpusOf(target))) {
        if (entry.is_regular_file())
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::uint8_t> storedInput(const std::string& target, const std::string& name)
{
    const std::filesystem::path path = corpusOf(target) / name;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read the stored fuzz input " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace CoreIoFuzz
