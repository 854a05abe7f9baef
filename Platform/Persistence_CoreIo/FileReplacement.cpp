#include "FileReplacement.h"

#include <unistd.h>

#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

namespace CoreIo {
namespace {

constexpr int temporaryNameAttempts = 16;

// Beside the target, so that the rename stays within one file system; the leading dot hides it.
std::string temporaryPathBeside(const std::string& path)
{
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    const std::filesystem::path target(path);
    std::string name(1, '.');
    for (const std::string& part :
         {target.filename().string(), std::to_string(getpid()), std::to_string(generator())}) {
        name += part;
        name += '.';
    }
    name += "tmp";
    return (target.parent_path() / name).string();
}

// Removes the temporary file unless it took the target's place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile()
    {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
        }
    }

    void replace(const std::string& target, const std::string& kind)
    {
        std::error_code error;
        std::filesystem::rename(path_, target, error);
        if (error) {
            throw std::runtime_error(kind + " \"" + target + "\": cannot be replaced by \"" + path_ +
                                     "\", the file written for it: " + error.message());
        }
        path_.clear();
    }

    const std::string& path() const { return path_; }
    void release() { path_.clear(); }

private:
    std::string path_;
};

}  // namespace

void writeWhole(const std::string& target, const std::string& kind,
                const std::function<bool(const std::string& temporaryPath)>& write)
{
    for (int attempt = 0; attempt < temporaryNameAttempts; ++attempt) {
        TemporaryFile temporary(temporaryPathBeside(target));
        if (!write(temporary.path())) {
            temporary.release();  // the name was someone else's
            continue;
        }
        temporary.replace(target, kind);
        return;
    }
    throw std::runtime_error(kind + " \"" + target + "\": found no free name for a temporary file beside it");
}

}  // namespace CoreIo
