#include "QRVService_ExceptionHandling.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

TEST(CvException, RecordsWhereItWasThrownUnlessGivenALocation)
{
    const auto here = std::source_location::current();
    const Calvora::CvException thrownHere("failed");
    EXPECT_EQ(thrownHere.location().line(), here.line() + 1);
    const std::string_view function = thrownHere.location().function_name();
    EXPECT_NE(function.find("RecordsWhereItWasThrown"), std::string_view::npos);
    const Calvora::CvException elsewhere("failed", here);
    EXPECT_EQ(elsewhere.location().line(), here.line());
    EXPECT_STREQ(elsewhere.location().file_name(), here.file_name());
}

}  // namespace
