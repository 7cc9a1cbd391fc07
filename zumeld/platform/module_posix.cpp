// What the module start needs from a build without Windows: a module handle of its own, the
// bitmaps embedded at build time, and the message box as a line on stderr.

#include <cstdio>

#include "zumeld/platform/module_p.h"

namespace {

// Its address is the module handle: unique and never null.
const char kModuleTag = 0;

}  // namespace

namespace Zumeld::Platform {

HINSTANCE ModuleInstanceHandle() {
    return reinterpret_cast<HINSTANCE>(const_cast<char*>(&kModuleTag));
}

const EmbeddedResource* FindEmbeddedResource(LPCSTR lpszName) {
    if (!IS_INTRESOURCE(lpszName)) return nullptr;
    const auto id = static_cast<int>(reinterpret_cast<UINT_PTR>(lpszName));
    for (const EmbeddedResource* r = kEmbeddedResources; r->bytes != nullptr; ++r)
        if (r->id == id) return r;
    return nullptr;
}

// This library is the only module that holds bitmaps.
bool ModuleHoldsBitmap(HMODULE hModule, LPCSTR lpszName) {
    return hModule == ModuleInstanceHandle() && FindEmbeddedResource(lpszName) != nullptr;
}

int DefaultMessageBox(const char* text, UINT /*type*/, UINT /*help*/) {
    std::fprintf(stderr, "%s\n", text);
    return IDOK;
}

}  // namespace Zumeld::Platform
