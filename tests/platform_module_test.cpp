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

TEST(GdiResources, UnknownResourcesAndTruncatedOrDamagedBmpFilesAreRefused) {
    EXPECT_EQ(LoadBitmapA(nullptr, MAKEINTRESOURCE(1)), nullptr);
    EXPECT_EQ(LoadBitmapA(nullptr, "2000"), nullptr);
    for (std::size_t n = 0; n < dib_test::kBmpFile.size(); ++n)
        EXPECT_EQ(FromFile({dib_test::kBmpFile.begin(),
                            dib_test::kBmpFile.begin() + static_cast<std::ptrdiff_t>(n)}),
                  nullptr)
            << n << " bytes";
    // Signature; header size; width; height; bit count; compression; colours used (0: a
    // table of 256 past the end); pixel offset past the end, far past, or inside the header.
    const std::pair<std::size_t, DWORD> cases[] = {
        {0, 0x4D41},      {14, 12}, {14, 0xFFFFFFFF}, {18, 0},          {18, 0xFFFFFFFD},
        {18, 0x7FFFFFFF}, {22, 0},  {22, 0x80000000}, {22, 40000},      {28, 7},
        {30, BI_RLE8},    {46, 0},  {10, 72},         {10, 0xFFFFFFF0}, {10, 4}};
    for (auto [at, value] : cases) {
        std::vector<BYTE> f = dib_test::kBmpFile;
        std::memcpy(&f[at], &value, at == 0 || at == 28 ? 2 : 4);  // WORD or DWORD
        EXPECT_EQ(FromFile(f), nullptr) << "offset " << at << " value " << value;
    }
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
