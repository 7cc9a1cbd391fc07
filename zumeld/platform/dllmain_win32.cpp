// The library's entry point on Windows, where it is loaded as an extension module: at load it
// initialises its module record and joins the host's resource chain, so that its bitmap
// resources (the default textures) are found; at unload it leaves the chain again.
// Builds without it (other platforms, programs that link the library statically) do the
// attach step on first use instead.

#include "zumeld/platform/module_p.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE /*hInstance*/, DWORD dwReason, LPVOID /*lpReserved*/) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        Zumeld::Platform::EnsureModuleStarted();
    } else if (dwReason == DLL_PROCESS_DETACH) {
        Zumeld::Platform::StopModule();
    }
    return TRUE;
}
