#pragma once
// The product family's exception: a message a user can act on, and the place it was thrown.

#include "QRVService_ExceptionHandling_export.h"

#include <exception>
#include <source_location>
#include <string>

namespace Calvora {

class QRVSERVICE_EXCEPTIONHANDLING_EXPORT CvException : public std::exception {
public:
    explicit CvException(const std::string& message, std::source_location location = std::source_location::current());
    ~CvException() override;

    const char* what() const noexcept override;  // the message, unchanged
    const std::source_location& location() const noexcept;

private:
    std::string message_;
    std::source_location location_;
};

}  // namespace Calvora
