#include "QRVService_ExceptionHandling.h"

namespace Calvora {

CvException::CvException(const std::string& message, std::source_location location)
    : message_(message), location_(location)
{
}

CvException::~CvException() = default;

const char* CvException::what() const noexcept
{
    return message_.c_str();
}

const std::source_location& CvException::location() const noexcept
{
    return location_;
}

}  // namespace Calvora
