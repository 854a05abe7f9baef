#include "ExodusFile.h"

#include "NetcdfExtent.h"
#include "Persistence_CoreIo.h"

#include <exodusII.h>
#include <exodusII_int.h>

#include <array>
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

// The library keeps the explanation of its last failure in a process-wide slot.
std::string lastLibraryError(int* codeOut = nullptr)
{
    const char* message = nullptr;
    const char* function = nullptr;
    int code = 0;
    ex_get_err(&message, &function, &code);
    if (codeOut != nullptr) {
        *codeOut = code;
    }
    std::string reason = message != nullptr && *message != '\0' ? message : "no explanation given";
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

}  // namespace

ExodusFile::ExodusFile(std::string path, Purpose purpose, int id, int storedWordSize)
    : path_(std::move(path)), purpose_(purpose), id_(id), storedWordSize_(storedWordSize)
{
}

ExodusFile ExodusFile::open(const std::string& path, int computeWordSize)
{
    requireSingleNumberAttributes(path);
    int storedWordSize = 0;  // asks the library to report what the file stores
    float version = 0.0f;
    const int id = ex_open(path.c_str(), EX_READ, &computeWordSize, &storedWordSize, &version);
    if (id < 0) {
        throw LoadError(aboutFile(path, "cannot be opened as an Exodus II file: " + lastLibraryError()));
    }
    ExodusFile file(path, Purpose::Reading, id, storedWordSize);
    // The file's int64_status attribute may ask for 64-bit integers in the API as well; callers'
    // buffers hold int.
    file.check(ex_set_int64_status(id, 0), "cannot read its integers as int");
    // The library passes the file's word size on unchecked, and sizes are computed from it.
    if (storedWordSize != 4 && storedWordSize != 8) {
        file.fail("its " + std::string(ATT_FLT_WORDSIZE) + " attribute gives " + std::to_string(storedWordSize) +
                  " bytes per floating-point value; only 4 and 8 are supported");
    }
    return file;
}

std::optional<ExodusFile> ExodusFile::createNew(const std::string& path, int storedWordSize)
{
    int computeWordSize = 8;
    const int id = ex_create(path.c_str(), EX_NOCLOBBER, &computeWordSize, &storedWordSize);
    if (id < 0) {
        int code = 0;
        const std::string reason = lastLibraryError(&code);
        if (code == EEXIST || code == NC_EEXIST) {
            return std::nullopt;
        }
        throw std::runtime_error(aboutFile(path, "cannot be created: " + reason));
    }
    return ExodusFile(path, Purpose::Writing, id, storedWordSize);
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
        ex_close(id_);
    }
}

void ExodusFile::check(int status, const std::string& what) const
{
    if (status < 0) {
        fail(what + ": " + lastLibraryError());
    }
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
    check(ex_close(std::exchange(id_, -1)), "cannot be closed");
}

}  // namespace CoreIo
