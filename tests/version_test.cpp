#include <gtest/gtest.h>

#include "zumeld/zumeld.h"

TEST(Version, IsTheProjectVersion) {
    EXPECT_STREQ(Zumeld::GetVersionString(), ZUMELD_PROJECT_VERSION);
}
