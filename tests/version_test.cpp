#include <gtest/gtest.h>

#include <cstring>

#include "zumeld/zumeld.h"

TEST(Version, IsMajorMinorPatch) {
    const char* v = Zumeld::GetVersionString();
    int dots = 0;
    for (const char* p = v; *p; ++p) dots += (*p == '.');
    EXPECT_EQ(dots, 2) << v;
}
