// The module start of this library and its embedded resources. Internal to the platform
// layer and the tests; not installed.
// Windows runs the module start from the library's entry point (dllmain_win32.cpp); here
// there is no entry point, so it runs once, on first use, from whichever thread needs it.
#pragma once

#include "zumeld/platform/resources_p.h"
#include "zumeld/platform/win32.h"

namespace Zumeld::Platform {

// This library's module handle: a fixed non-null value no other handle takes.
HINSTANCE ModuleInstanceHandle();

// Initialises the module record and puts the library into the resource chain, once per
// process; later calls return at once. Thread-safe.
void EnsureModuleStarted();

// The embedded resource with the integer name lpszName (MAKEINTRESOURCE), or null for a
// string name or an id the library does not hold.
const EmbeddedResource* FindEmbeddedResource(LPCSTR lpszName);

}  // namespace Zumeld::Platform
