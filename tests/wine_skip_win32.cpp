// Wine's ntdll exports wine_get_version; Windows' does not.
#include "wine_skip.h"
#include "zumeld/platform/win32.h"

bool zumeld_test::UnderWine() {
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
