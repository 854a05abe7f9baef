#include "QRVService_ExceptionHandling.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using Calvora::CvException;

TEST(CvException, KeepsTheMessageUnchanged)
{
    for (const std::string message : {"", "Mesh builder: 3 normals for 4 nodes", "100% {} %s\n\ttext"})
        EXPECT_EQ(CvException(message).what(), message);
}

TEST(CvException, RecordsWhereItWasThrown)
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
}

TEST(CvException, KeepsALocationGivenExplicitly)
{
    const auto elsewhere = std::source_location::current();
    const CvException error("failed", elsewhere);
    EXPECT_EQ(error.location().line(), elsewhere.line());
    EXPECT_STREQ(error.location().file_name(), elsewhere.file_name());
}

TEST(CvException, IsCaughtAsStdExceptionWithItsMessage)
{
    try {
        throw CvException("Tool mesh builder: no untransformed tool mesh");
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "Tool mesh builder: no untransformed tool mesh");
        return;
    }
    FAIL() << "CvException was not caught as std::exception";
}

TEST(CvException, CopiesCarryMessageAndLocation)
{
    const CvException original("copied");
    const CvException copy = original;
    EXPECT_STREQ(copy.what(), "copied");
    EXPECT_EQ(copy.location().line(), original.location().line());
}

}  // namespace
