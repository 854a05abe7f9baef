#pragma once
// An open Exodus II file, and the one way into the Exodus and netCDF libraries. Neither library is
// thread-safe (they keep process-wide tables of open files and of the last error), so every call
// into either runs under one process-wide lock, taken here; loaders and writers on different
// threads are then safe. Failed calls become exceptions that name the file by its path, the
// operation and the library's own explanation. Internal: not installed.

#include "MessageText.h"

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>

namespace CoreIo {

// The lock that serialises every call into the Exodus and netCDF libraries in this process.
std::recursive_mutex& exodusLibraryLock();

class ExodusFile {
public:
    // Opens an existing file read-only. Floating-point values cross the library's API as doubles,
    // ids and number maps as 64-bit integers, other integers as int, whatever the file stores.
    // Failures throw LoadError, and so does a file that stores other than 4 or 8 bytes per value,
    // or whose header holds several values in an attribute that the library reads as one number.
    static ExodusFile open(const std::string& path);
    // Creates a file that does not exist yet, storing floating-point values with storedWordSize
    // bytes, and ids and number maps with 64 bits when wideIds (a netCDF-4 file then, the format
    // that holds them). The API takes doubles and 64-bit ids and maps. Empty if the path is taken;
    // other failures throw std::runtime_error.
    static std::optional<ExodusFile> createNew(const std::string& path, int storedWordSize, bool wideIds);

    ExodusFile(ExodusFile&& other) noexcept;
    ExodusFile& operator=(ExodusFile&&) = delete;
    ~ExodusFile();

    int storedWordSize() const { return storedWordSize_; }
    const std::string& path() const { return path_; }

    // Runs call(handle) under the libraries' lock and returns what it returns. The handle is the
    // library's, which is also the file's netCDF id.
    template <typename Call>
    decltype(auto) locked(Call&& call) const
    {
        const std::lock_guard lock(exodusLibraryLock());
        return call(id_);
    }
    // Runs an Exodus library call under the lock. Any status but 0 fails: an error (negative), and
    // also a warning (positive), with which the library hands back data it did not find; callers
    // prevent the warnings that valid files give rise to.
    template <typename Call>
    void exodus(const std::string& what, Call&& call) const
    {
        const std::lock_guard lock(exodusLibraryLock());
        const int status = call(id_);
        if (status != 0) {
            failWithLibraryError(what);
        }
    }
    // Runs a netCDF call under the lock; any status but NC_NOERR fails with netCDF's explanation.
    template <typename Call>
    void netcdf(const std::string& what, Call&& call) const
    {
        const std::lock_guard lock(exodusLibraryLock());
        const int status = call(id_);
        if (status != 0) {
            failWithNetcdfError(what, status);
        }
    }

    // Throws the exception of this file's purpose with "Exodus file "<path>": <what>": LoadError
    // when reading, std::runtime_error when writing.
    [[noreturn]] void fail(const std::string& what) const;
    // Keeps room for `bytes` more of definitions in the header of a new file of the classic
    // formats, once it defines a variable: without, each definition moves all the data defined
    // before it, written or not, further into the file.
    void reserveHeaderRoom(std::size_t bytes) const;
    // Closes the file, so that a writer learns whether its data reached the disk.
    void close();

private:
    enum class Purpose { Reading, Writing };

    ExodusFile(std::string path, Purpose purpose, int id, int storedWordSize);
    [[noreturn]] void failWithLibraryError(const std::string& what) const;
    [[noreturn]] void failWithNetcdfError(const std::string& what, int status) const;

    std::string path_;
    Purpose purpose_;
    int id_;  // negative once closed
    int storedWordSize_;
};

}  // namespace CoreIo
