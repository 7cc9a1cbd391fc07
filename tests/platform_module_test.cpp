// The module record and resource chain, resource lookup, and the message-box handler.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "zumeld/platform/afx.h"
#include "zumeld/platform/module_p.h"

namespace {

using Zumeld::Platform::kEmbeddedResources;
using Zumeld::Platform::ModuleInstanceHandle;

// Every embedded bitmap is found in this module.
void ExpectEmbeddedBitmapsFoundHere() {
    EXPECT_NE(ModuleInstanceHandle(), nullptr);
    for (const auto* r = kEmbeddedResources; r->bytes != nullptr; ++r) {
        EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCE(r->id), RT_BITMAP), ModuleInstanceHandle())
            << r->id;
        EXPECT_EQ(Zumeld::Platform::FindEmbeddedResource(MAKEINTRESOURCE(r->id)), r) << r->id;
    }
}

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
    ExpectEmbeddedBitmapsFoundHere();
}

TEST(PlatformModule, FirstUseFromManyThreadsAgrees) {
    const int id = kEmbeddedResources[0].bytes ? kEmbeddedResources[0].id : 2000;
    std::vector<HINSTANCE> found(8, reinterpret_cast<HINSTANCE>(1));
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < found.size(); ++i)
        threads.emplace_back(
            [&found, i, id] { found[i] = AfxFindResourceHandle(MAKEINTRESOURCE(id), RT_BITMAP); });
    for (std::thread& t : threads) t.join();
    for (HINSTANCE h : found) EXPECT_EQ(h, found[0]);
}

TEST(PlatformModule, AnotherModuleInTheChainHoldsNoneOfOurBitmaps) {
    AFX_EXTENSION_MODULE other;
    EXPECT_FALSE(AfxInitExtensionModule(other, nullptr));
    EXPECT_FALSE(other.bInitialized);
    static char otherTag;
    const auto hOther = reinterpret_cast<HMODULE>(&otherTag);
    ASSERT_TRUE(AfxInitExtensionModule(other, hOther));
    EXPECT_TRUE(other.bInitialized);
    EXPECT_EQ(other.hModule, hOther);
    EXPECT_EQ(other.hResource, hOther);
    auto* lib = new CDynLinkLibrary(other, FALSE);
    EXPECT_EQ(lib->m_hResource, hOther);
    ExpectEmbeddedBitmapsFoundHere();
    // Terminating the other module deletes its library object (the leak check would see it
    // otherwise) and leaves this library's entry in place.
    AfxTermExtensionModule(other, FALSE);
    EXPECT_FALSE(other.bInitialized);
    ExpectEmbeddedBitmapsFoundHere();
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
    AfxSetMessageBoxHandler(nullptr);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(AfxMessageBox("shown on stderr"), IDOK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "shown on stderr\n");
    EXPECT_EQ(calls.size(), 2u);
}

}  // namespace
