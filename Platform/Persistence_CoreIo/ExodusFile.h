#pragma once
// An open Exodus II file: closes itself when it goes, and turns every failed library call into an
// exception that names the file, the operation and the library's own explanation.

#include "MessageText.h"

#include <optional>
#include <string>

namespace CoreIo {

class ExodusFile {
public:
    // Opens an existing file read-only; floating-point values cross the API with computeWordSize
    // bytes (4 or 8) and integers as int, whatever the file stores. Failures throw LoadError, and so does a file that
    // stores other than 4 or 8 bytes per value, or whose header holds several values in an
    // attribute that the library reads as one number.
    static ExodusFile open(const std::string& path, int computeWordSize);
    // Creates a file that does not exist yet, storing floating-point values with storedWordSize
    // bytes; the API takes doubles. Empty if the path is taken; other failures throw
    // std::runtime_error.
    static std::optional<ExodusFile> createNew(const std::string& path, int storedWordSize);

    ExodusFile(ExodusFile&& other) noexcept;
    ExodusFile& operator=(ExodusFile&&) = delete;
    ~ExodusFile();

    int id() const { return id_; }  // the library's handle, which is also the file's netCDF id
    int storedWordSize() const { return storedWordSize_; }
    const std::string& path() const { return path_; }

    // Throws when status reports an error (negative); warnings (positive) pass.
    void check(int status, const std::string& what) const;
    // Throws the exception of this file's purpose with "Exodus file "<path>": <what>".
    [[noreturn]] void fail(const std::string& what) const;
    // Closes the file, so that a writer learns whether its data reached the disk.
    void close();

private:
    enum class Purpose { Reading, Writing };

    ExodusFile(std::string path, Purpose purpose, int id, int storedWordSize);

    std::string path_;
    Purpose purpose_;
    int id_;  // negative once closed
    int storedWordSize_;
};

}  // namespace CoreIo
