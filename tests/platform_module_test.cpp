// The module record and resource chain, resource lookup, and the message-box handler.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "zumeld/platform/afx.h"
#include "zumeld/platform/module_p.h"

namespace {

using Zumeld::Platform::kEmbeddedResources;
using Zumeld::Platform::ModuleInstanceHandle;

TEST(PlatformModule, EmbeddedBitmapsAreFoundInThisModuleAndNothingElseIs) {
    struct Case {
        const char* what;
        LPCSTR name;
        LPCSTR type;
    };
    const Case cases[] = {{"id 0", MAKEINTRESOURCE(0), RT_BITMAP},
                          {"id 1999", MAKEINTRESOURCE(1999), RT_BITMAP},
                          {"id 65535", MAKEINTRESOURCE(65535), RT_BITMAP},
                          {"string name", "2000", RT_BITMAP},
                          {"icon type", MAKEINTRESOURCE(2000), MAKEINTRESOURCE(3)},
                          {"string type", MAKEINTRESOURCE(2000), "BITMAP"},
                          {"null type", MAKEINTRESOURCE(2000), nullptr}};
    for (const Case& c : cases) EXPECT_EQ(AfxFindResourceHandle(c.name, c.type), nullptr) << c.what;

    for (const auto* r = kEmbeddedResources; r->bytes != nullptr; ++r) {
        SCOPED_TRACE(r->id);
        EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCE(r->id), RT_BITMAP), ModuleInstanceHandle());
        EXPECT_EQ(Zumeld::Platform::FindEmbeddedResource(MAKEINTRESOURCE(r->id)), r);
    }
    EXPECT_NE(ModuleInstanceHandle(), nullptr);
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
    for (const auto* r = kEmbeddedResources; r->bytes != nullptr; ++r)
        EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCE(r->id), RT_BITMAP), ModuleInstanceHandle());

    // Terminating the other module deletes its library object (the leak check would see
    // it otherwise) and leaves this library's entry in place.
    AfxTermExtensionModule(other, FALSE);
    EXPECT_FALSE(other.bInitialized);
    for (const auto* r = kEmbeddedResources; r->bytes != nullptr; ++r)
        EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCE(r->id), RT_BITMAP), ModuleInstanceHandle());
}

TEST(PlatformMessageBox, HandlerCapturesTheTextAndDefaultPrintsIt) {
    struct Call {
        std::string text;
        UINT type;
        UINT help;
    };
    std::vector<Call> calls;
    AfxMessageBoxHandler previous =
        AfxSetMessageBoxHandler([&calls](const char* t, UINT ty, UINT h) {
            calls.push_back({t, ty, h});
            return 42;
        });
    EXPECT_EQ(AfxMessageBox("first", MB_OK, 0), 42);
    EXPECT_EQ(AfxMessageBox(nullptr, MB_ICONERROR, 7), 42);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].text, "first");
    EXPECT_EQ(calls[0].type, MB_OK);
    EXPECT_EQ(calls[1].text, "");
    EXPECT_EQ(calls[1].type, MB_ICONERROR);
    EXPECT_EQ(calls[1].help, 7u);

    // Putting the previous handler back (empty: the default) ends the capture.
    AfxMessageBoxHandler mine = AfxSetMessageBoxHandler(previous);
    EXPECT_TRUE(static_cast<bool>(mine));
    AfxSetMessageBoxHandler(nullptr);
    ::testing::internal::CaptureStderr();
    const int result = AfxMessageBox("shown on stderr");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "shown on stderr\n");
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(calls.size(), 2u);
}

}  // namespace
