#include "zumeld/zumeld.h"

// The project version of the build (CMake's project(VERSION)).
#ifndef ZUMELD_VERSION_STRING
#error "ZUMELD_VERSION_STRING is set by the build"
#endif

namespace Zumeld {

const char* GetVersionString() { return ZUMELD_VERSION_STRING; }

}  // namespace Zumeld
