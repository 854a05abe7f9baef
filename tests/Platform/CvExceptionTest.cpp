#include "QRVService_ExceptionHandling.h"

#include <gtest/gtest.h>

#include <cstring>
#include <exception>
#include <source_location>

namespace {

TEST(CvException, IsCaughtAsAStandardExceptionWithItsMessageUnchangedAndTheLocationItWasGiven)
{
    const std::source_location where = std::source_location::current();
    try {
        throw Calvora::CvException("Tool mesh has no normals: {} 100%\n", where);
    } catch (const std::exception& caught) {
        EXPECT_STREQ(caught.what(), "Tool mesh has no normals: {} 100%\n");
        const std::source_location& location = dynamic_cast<const Calvora::CvException&>(caught).location();
        EXPECT_STREQ(location.file_name(), where.file_name());
        EXPECT_STREQ(location.function_name(), where.function_name());
        EXPECT_EQ(location.line(), where.line());
        EXPECT_EQ(location.column(), where.column());
    }
}

}  // namespace
