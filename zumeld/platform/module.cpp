// The extension-module record, the resource chain, resource lookup and the message box.
// These, with the memory handle table, are the only process-wide state of the library;
// one mutex guards them. The state is never destroyed, so a host's static objects may
// still use it while the process exits.

#include <algorithm>
#include <mutex>
#include <vector>

#include "zumeld/platform/afx.h"
#include "zumeld/platform/module_p.h"

namespace {

struct ModuleState {
    std::mutex mutex;
    AFX_EXTENSION_MODULE record;          // this library's module record
    std::vector<CDynLinkLibrary*> chain;  // the resource chain, oldest first
    AfxMessageBoxHandler messageBox;      // empty: the default handler
    std::once_flag started;
};

ModuleState& State() {
    static ModuleState& state = *new ModuleState;
    return state;
}

bool IsBitmapType(LPCSTR type) {
    return IS_INTRESOURCE(type) && reinterpret_cast<UINT_PTR>(type) == 2;  // RT_BITMAP
}

}  // namespace

namespace Zumeld::Platform {

void EnsureModuleStarted() {
    ModuleState& s = State();
    std::call_once(s.started, [&s] {
        // What the entry point does on process attach; the library object stays in the
        // chain for the life of the process.
        if (AfxInitExtensionModule(s.record, ModuleInstanceHandle()))
            new CDynLinkLibrary(s.record, FALSE);
    });
}

void StopModule() {
    AfxTermExtensionModule(State().record, FALSE);
}

}  // namespace Zumeld::Platform

// ---- Module record and resource chain ------------------------------------------------------

BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE hModule) {
    if (hModule == nullptr) return FALSE;
    std::lock_guard<std::mutex> lock(State().mutex);
    state.hModule = hModule;
    state.hResource = hModule;
    state.bInitialized = TRUE;
    return TRUE;
}

void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL bAll) {
    std::vector<CDynLinkLibrary*> gone;
    {
        ModuleState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        state.bInitialized = FALSE;
        // The chain owns its library objects: those of the module (or all, with bAll)
        // leave it and are deleted.
        auto leaves = [&](CDynLinkLibrary* lib) { return bAll || lib->m_hModule == state.hModule; };
        std::copy_if(s.chain.begin(), s.chain.end(), std::back_inserter(gone), leaves);
        s.chain.erase(std::remove_if(s.chain.begin(), s.chain.end(), leaves), s.chain.end());
    }
    for (CDynLinkLibrary* lib : gone) delete lib;  // outside the lock: the destructor takes it
}

CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL bSystem)
    : m_hModule(state.hModule), m_hResource(state.hResource), m_bSystem(bSystem) {
    ModuleState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.chain.push_back(this);
}

CDynLinkLibrary::~CDynLinkLibrary() {
    ModuleState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.chain.erase(std::remove(s.chain.begin(), s.chain.end(), this), s.chain.end());
}

HINSTANCE AfxFindResourceHandle(LPCSTR lpszName, LPCSTR lpszType) {
    using namespace Zumeld::Platform;
    EnsureModuleStarted();
    // Bitmaps are the only resources the library looks up.
    if (!IsBitmapType(lpszType) || !IS_INTRESOURCE(lpszName)) return nullptr;
    ModuleState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const CDynLinkLibrary* lib : s.chain)
        if (ModuleHoldsBitmap(lib->m_hResource, lpszName)) return lib->m_hResource;
    return nullptr;
}

// ---- Message box -------------------------------------------------------------------------------

int AfxMessageBox(LPCSTR lpszText, UINT nType, UINT nIDHelp) {
    AfxMessageBoxHandler handler;
    {
        ModuleState& s = State();
        std::lock_guard<std::mutex> lock(s.mutex);
        handler = s.messageBox;
    }
    const char* text = lpszText ? lpszText : "";
    return handler ? handler(text, nType, nIDHelp)
                   : Zumeld::Platform::DefaultMessageBox(text, nType, nIDHelp);
}

AfxMessageBoxHandler AfxSetMessageBoxHandler(AfxMessageBoxHandler handler) {
    ModuleState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    AfxMessageBoxHandler previous = std::move(s.messageBox);
    s.messageBox = std::move(handler);
    return previous;
}
