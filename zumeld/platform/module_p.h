// The module start of this library and its resources. Internal to the platform layer and the
// tests; not installed.
// The DLL built for Windows runs the module start from its entry point (dllmain_win32.cpp);
// elsewhere, and in programs that link the library statically, it runs once, on first use,
// from whichever thread needs it. module.cpp is shared; module_posix.cpp and module_win32.cpp
// hold what differs: the module handle, resource lookup and the default message box.
#pragma once

#include "zumeld/platform/resources_p.h"
#include "zumeld/platform/win32.h"

namespace Zumeld::Platform {

// This library's module handle: on Windows the module its code is in (the DLL, or the program
// that links it statically); elsewhere a fixed non-null value no other handle takes.
HINSTANCE ModuleInstanceHandle();

// Initialises the module record and puts the library into the resource chain, once per
// process; later calls return at once. Thread-safe.
void EnsureModuleStarted();

// Takes the library out of the resource chain (the DLL's entry point, at unload).
void StopModule();

// True when the module holds the bitmap resource with the integer name lpszName.
bool ModuleHoldsBitmap(HMODULE hModule, LPCSTR lpszName);

// The message box shown when no handler is installed: the text on stderr, or on Windows the
// system's message box.
int DefaultMessageBox(const char* text, UINT type, UINT help);

// Stand-in builds only: the embedded resource with the integer name lpszName
// (MAKEINTRESOURCE), or null for a string name or an id the library does not hold.
const EmbeddedResource* FindEmbeddedResource(LPCSTR lpszName);

}  // namespace Zumeld::Platform
