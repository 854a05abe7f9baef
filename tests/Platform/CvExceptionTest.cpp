#include "QRVService_ExceptionHandling.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using Calvora::CvException;

TEST(CvException, IsAStdExceptionWhoseCopiesKeepTheMessageUnchanged)
{
    for (const std::string message : {"", "Mesh builder: 3 normals for 4 nodes", "100% {} %s\n\ttext"}) {
        try {
            throw CvException(message);
        } catch (const std::exception& error) {
            EXPECT_EQ(error.what(), message);
            const CvException copy = dynamic_cast<const CvException&>(error);
            EXPECT_EQ(copy.what(), message);
            EXPECT_EQ(copy.location().line(), dynamic_cast<const CvException&>(error).location().line());
        }
    }
}

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
