#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "zumeld/zumeld.h"

TEST(Version, IsMajorMinorPatch) {
    const std::string v = Zumeld::GetVersionString();
    unsigned major = 0, minor = 0, patch = 0;
    int used = 0;
    EXPECT_EQ(std::sscanf(v.c_str(), "%u.%u.%u%n", &major, &minor, &patch, &used), 3) << v;
    EXPECT_EQ(static_cast<std::size_t>(used), v.size()) << v;
    EXPECT_TRUE(!v.empty() && v.front() >= '0' && v.front() <= '9') << v;
}
