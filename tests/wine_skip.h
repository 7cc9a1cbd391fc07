// Skips for faults of Wine, the Windows stand-in the Windows build's tests run on here. Each
// skip names the Wine call at fault and holds only under Wine: on Windows itself and in every
// other build the case runs.
#pragma once

#include <gtest/gtest.h>

namespace zumeld_test {

// True in a Windows build running under Wine (wine_skip_win32.cpp; elsewhere false).
bool UnderWine();

}  // namespace zumeld_test

// Ends the test as skipped under Wine, with the reason.
#define ZUMELD_SKIP_UNDER_WINE(reason) \
    if (zumeld_test::UnderWine()) GTEST_SKIP() << "Wine: " << reason
