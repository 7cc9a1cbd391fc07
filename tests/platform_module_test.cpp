// The module's embedded resources, their lookup and decoding, and the message-box handler.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "dib_test_support.h"
#include "zumeld/platform/afx.h"
#include "zumeld/platform/gdi_p.h"
#include "zumeld/platform/module_p.h"

namespace {

using Zumeld::Platform::ModuleInstanceHandle;

TEST(PlatformModule, EmbeddedBitmapsAreFoundInThisModuleAndNothingElseIs) {
    // Unknown ids 0, 1999, 65535; a string name; icon, string and null types.
    const std::pair<LPCSTR, LPCSTR> absent[] = {{MAKEINTRESOURCE(0), RT_BITMAP},
                                                {MAKEINTRESOURCE(1999), RT_BITMAP},
                                                {MAKEINTRESOURCE(65535), RT_BITMAP},
                                                {"2000", RT_BITMAP},
                                                {MAKEINTRESOURCE(2000), MAKEINTRESOURCE(3)},
                                                {MAKEINTRESOURCE(2000), "BITMAP"},
                                                {MAKEINTRESOURCE(2000), nullptr}};
    for (const auto& p : absent)
        EXPECT_EQ(AfxFindResourceHandle(p.first, p.second), nullptr) << "case " << &p - absent;
    EXPECT_NE(ModuleInstanceHandle(), nullptr);
    for (const auto* r = Zumeld::Platform::kEmbeddedResources; r->bytes != nullptr; ++r) {
        EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCE(r->id), RT_BITMAP), ModuleInstanceHandle())
            << r->id;
        EXPECT_EQ(Zumeld::Platform::FindEmbeddedResource(MAKEINTRESOURCE(r->id)), r) << r->id;
    }
}

HBITMAP FromFile(const std::vector<BYTE>& f) {
    return Zumeld::Platform::BitmapFromBmpFile(f.data(), f.size());
}

// The embedded pictures are the library's own; a file cut short is still refused.
TEST(GdiResources, UnknownResourcesAndTruncatedBmpFilesAreRefused) {
    EXPECT_EQ(LoadBitmapA(nullptr, MAKEINTRESOURCE(1)), nullptr);
    EXPECT_EQ(LoadBitmapA(nullptr, "2000"), nullptr);
    for (std::size_t n = 0; n < dib_test::kBmpFile.size(); ++n)
        EXPECT_EQ(FromFile({dib_test::kBmpFile.begin(),
                            dib_test::kBmpFile.begin() + static_cast<std::ptrdiff_t>(n)}),
                  nullptr)
            << n << " bytes";
}

TEST(PlatformMessageBox, HandlerCapturesTheTextAndDefaultPrintsIt) {
    std::vector<std::tuple<std::string, UINT, UINT>> calls;
    AfxMessageBoxHandler previous =
        AfxSetMessageBoxHandler([&calls](const char* t, UINT type, UINT help) {
            calls.emplace_back(t, type, help);
            return 42;
        });
    EXPECT_EQ(AfxMessageBox("first", MB_OK, 0), 42);
    EXPECT_EQ(AfxMessageBox(nullptr, MB_ICONERROR, 7), 42);
    EXPECT_EQ(calls, (decltype(calls){{"first", MB_OK, 0}, {"", MB_ICONERROR, 7}}));
    // Putting the previous handler back (empty: the default) ends the capture.
    EXPECT_TRUE(static_cast<bool>(AfxSetMessageBoxHandler(previous)));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(AfxMessageBox("shown on stderr"), IDOK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "shown on stderr\n");
    EXPECT_EQ(calls.size(), 2u);
}

}  // namespace
