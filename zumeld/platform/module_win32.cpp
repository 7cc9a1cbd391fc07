// What the module start needs from Windows: the module the library's code is in, its bitmap
// resources (resources/zumeld.rc, linked into the DLL and into programs that link the library
// statically) and the system's message box.

#include "zumeld/platform/module_p.h"

namespace Zumeld::Platform {

HINSTANCE ModuleInstanceHandle() {
    // The module that holds this function: the DLL, or a program the library is linked into.
    HMODULE module = nullptr;
    ::GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&ModuleInstanceHandle), &module);
    return module;
}

bool ModuleHoldsBitmap(HMODULE hModule, LPCSTR lpszName) {
    return hModule != nullptr && ::FindResourceA(hModule, lpszName, RT_BITMAP) != nullptr;
}

int DefaultMessageBox(const char* text, UINT type, UINT /*help*/) {
    return ::MessageBoxA(nullptr, text, "Zumeld", type | MB_TASKMODAL);
}

}  // namespace Zumeld::Platform
