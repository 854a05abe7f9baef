#include "ExodusFile.h"

#include "NetcdfExtent.h"
#include "Persistence_CoreIo.h"

#include <exodusII.h>
#include <exodusII_int.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <stdexcept>
#include <utility>

namespace CoreIo {

namespace {

// Codes in this range come from netCDF or the operating system; the library's own lie beyond.
bool isNetcdfOrSystemCode(int code)
{
    return code != 0 && code > EX_MSG && code < EX_MEMFAIL;
}

// The library names files by their handle ("in file id 65536"), which tells a user nothing; our
// messages name the file by its path before the library's text.
std::string withoutFileHandles(std::string text)
{
    const std::string handle = "file id";
    for (std::size_t at = text.find(handle); at != std::string::npos; at = text.find(handle, at)) {
        std::size_t end = at + handle.size();
        end += end < text.size() && text[end] == ':' ? 1 : 0;
        end += end < text.size() && text[end] == ' ' ? 1 : 0;
        end += end < text.size() && text[end] == '-' ? 1 : 0;
        const std::size_t digits = end;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])) != 0) {
            ++end;
        }
        if (end == digits) {
            at += handle.size();
            continue;
        }
        text.replace(at, end - at, "the file");
    }
    return text;
}

// The library keeps the explanation of its last failure in a process-wide slot: read it under
// the lock of the call that failed.
std::string lastLibraryError(int* codeOut = nullptr)
{
    const char* message = nullptr;
    const char* function = nullptr;
    int code = 0;
    ex_get_err(&message, &function, &code);
    if (codeOut != nullptr) {
        *codeOut = code;
    }
    std::string reason = message != nullptr && *message != '\0' ? withoutFileHandles(message) : "no explanation given";
    if (isNetcdfOrSystemCode(code)) {
        reason += std::string(" (") + nc_strerror(code) + ")";
    }
    return reason;
}

// Global attributes that the library reads into one number each; netCDF hands over every value an
// attribute holds, so one with more values would overrun that number.
constexpr std::array<const char*, 8> singleNumberAttributes{
    ATT_VERSION,  ATT_API_VERSION,  ATT_API_VERSION_BLANK, ATT_FLT_WORDSIZE, ATT_FLT_WORDSIZE_BLANK,
    ATT_FILESIZE, ATT_INT64_STATUS, ATT_MAX_NAME_LENGTH};

// Checked through netCDF before the library sees the file, since opening it reads them.
void requireSingleNumberAttributes(const std::string& path)
{
    const std::lock_guard lock(exodusLibraryLock());
    int id = 0;
    if (nc_open(path.c_str(), NC_NOWRITE, &id) != NC_NOERR) {
        return;  // the library's own open explains what is wrong
    }
    std::string problem;
    for (const char* name : singleNumberAttributes) {
        const std::optional<std::uint64_t> count = attributeValueCount(id, "", name);
        if (count && *count != 1) {
            problem = "its global attribute " + inQuotes(name) + " holds " + std::to_string(*count) +
                      " values where one number is expected";
            break;
        }
    }
    nc_close(id);
    if (!problem.empty()) {
        throw LoadError(aboutFile(path, problem));
    }
}

constexpr int idsAndMapsAs64Bits = EX_IDS_INT64_API | EX_MAPS_INT64_API;

}  // namespace

std::recursive_mutex& exodusLibraryLock()
{
    static std::recursive_mutex lock;
    return lock;
}

ExodusFile::ExodusFile(std::string path, Purpose purpose, int id, int storedWordSize)
    : path_(std::move(path)), purpose_(purpose), id_(id), storedWordSize_(storedWordSize)
{
}

ExodusFile ExodusFile::open(const std::string& path)
{
    requireSingleNumberAttributes(path);
    const std::lock_guard lock(exodusLibraryLock());
    int computeWordSize = 8;
    int storedWordSize = 0;  // asks the library to report what the file stores
    float version = 0.0f;
    const int id = ex_open(path.c_str(), EX_READ, &computeWordSize, &storedWordSize, &version);
    if (id < 0) {
        throw LoadError(aboutFile(path, "cannot be opened as an Exodus II file: " + lastLibraryError()));
    }
    ExodusFile file(path, Purpose::Reading, id, storedWordSize);
    // Replaces what the file's int64_status attribute asks for, so that the API is the same for
    // every file: ids and maps may need 64 bits, other integers fit an int.
    file.exodus("cannot choose how to read its integers",
                [](int handle) { return ex_set_int64_status(handle, idsAndMapsAs64Bits) < 0 ? EX_FATAL : EX_NOERR; });
    // The library passes the file's word size on unchecked, and sizes are computed from it.
    if (storedWordSize != 4 && storedWordSize != 8) {
        file.fail("its " + std::string(ATT_FLT_WORDSIZE) + " attribute gives " + std::to_string(storedWordSize) +
                  " bytes per floating-point value; only 4 and 8 are supported");
    }
    return file;
}

std::optional<ExodusFile> ExodusFile::createNew(const std::string& path, int storedWordSize, bool wideIds)
{
    const std::lock_guard lock(exodusLibraryLock());
    int computeWordSize = 8;
    const int mode = EX_NOCLOBBER | (wideIds ? EX_NETCDF4 | EX_NOCLASSIC | EX_MAPS_INT64_DB | EX_IDS_INT64_DB : 0);
    const int id = ex_create(path.c_str(), mode, &computeWordSize, &storedWordSize);
    if (id < 0) {
        int code = 0;
        const std::string reason = lastLibraryError(&code);
        if (code == EEXIST || code == NC_EEXIST) {
            return std::nullopt;
        }
        throw std::runtime_error(aboutFile(path, "cannot be created: " + reason));
    }
    ExodusFile file(path, Purpose::Writing, id, storedWordSize);
    file.exodus("cannot choose how to write its integers",
                [](int handle) { return ex_set_int64_status(handle, idsAndMapsAs64Bits) < 0 ? EX_FATAL : EX_NOERR; });
    return file;
}

void ExodusFile::reserveHeaderRoom(std::size_t bytes) const
{
    netcdf("cannot reserve room for its header", [&](int handle) {
        const int redefined = nc_redef(handle);
        return redefined != NC_NOERR ? redefined : nc__enddef(handle, bytes, 4, 0, 4);
    });
}

ExodusFile::ExodusFile(ExodusFile&& other) noexcept
    : path_(std::move(other.path_)),
      purpose_(other.purpose_),
      id_(std::exchange(other.id_, -1)),
      storedWordSize_(other.storedWordSize_)
{
}

ExodusFile::~ExodusFile()
{
    if (id_ >= 0) {
        const std::lock_guard lock(exodusLibraryLock());
        ex_close(id_);
    }
}

void ExodusFile::failWithLibraryError(const std::string& what) const
{
    fail(what + ": " + lastLibraryError());
}

void ExodusFile::failWithNetcdfError(const std::string& what, int status) const
{
    fail(what + ": " + nc_strerror(status));
}

void ExodusFile::fail(const std::string& what) const
{
    const std::string message = aboutFile(path_, what);
    if (purpose_ == Purpose::Reading) {
        throw LoadError(message);
    }
    throw std::runtime_error(message);
}

void ExodusFile::close()
{
    const std::lock_guard lock(exodusLibraryLock());
    const int status = ex_close(std::exchange(id_, -1));
    if (status != 0) {
        failWithLibraryError("cannot be closed");
    }
}

}  // namespace CoreIo
