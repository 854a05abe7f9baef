#include "QRVService_ExceptionHandling.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using Calvora::CvException;

TEST(CvException, RecordsWhereItWasThrownUnlessGivenALocation)
{
    const auto throwLine = __LINE__ + 2;
    try {
        throw CvException("failed");
    } catch (const CvException& error) {
        EXPECT_EQ(error.location().line(), throwLine);
        EXPECT_TRUE(std::string_view(error.location().file_name()).ends_with("CvExceptionTest.cpp"));
        EXPECT_NE(std::string_view(error.location().function_name()).find("RecordsWhereItWasThrown"),
                  std::string_view::npos);
    }
    const auto elsewhere = std::source_location::current();
    const CvException error("failed", elsewhere);
    EXPECT_EQ(error.location().line(), elsewhere.line());
    EXPECT_STREQ(error.location().file_name(), elsewhere.file_name());
}

}  // namespace
