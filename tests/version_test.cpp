#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "zumeld/zumeld.h"

TEST(Version, IsMajorMinorPatch) {
    const std::string v = Zumeld::GetVersionString();
    EXPECT_TRUE(std::regex_match(v, std::regex(R"(\d+\.\d+\.\d+)"))) << v;
}
