// The library's entry point on Windows, where it is loaded as an MFC extension module.
// Other platforms have no entry point: Zumeld::Platform::EnsureModuleStarted does the
// attach step on first use instead.

#include <afxwin.h>
#include <afxdllx.h>  // the raw entry hook every extension module needs (class and factory lists)

// The one module record of the library.
static AFX_EXTENSION_MODULE ZumeldDLL = {NULL, NULL};

extern "C" int APIENTRY DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID /*lpReserved*/) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        // The library does not load when the module record cannot be set up.
        if (!AfxInitExtensionModule(ZumeldDLL, hInstance)) return 0;
        // Puts the library's bitmaps into the host's resource chain. Never deleted here.
        new CDynLinkLibrary(ZumeldDLL, FALSE);
    } else if (dwReason == DLL_PROCESS_DETACH) {
        AfxTermExtensionModule(ZumeldDLL, FALSE);
    }
    return 1;
}
