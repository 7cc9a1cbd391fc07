// Zumeld: terrain elevation maps and the pictures made of them. The one header a host
// includes; link Zumeld::zumeld.
#pragma once

#include "zumeld/export.h"
#include "zumeld/platform/win32.h"
#include "zumeld/platform/afx.h"
#include "zumeld/bitmap/ControlBmp.h"
#include "zumeld/util/SharedBlock.h"
#include "zumeld/util/Threads.h"
#include "zumeld/geometry/HorzLine.h"
#include "zumeld/render/TextureSet.h"
#include "zumeld/dib/CtrlDib.h"
#include "zumeld/elevation/CtrlElvMap.h"

namespace Zumeld {
// The library's version, "major.minor.patch".
ZUMELD_API const char* GetVersionString();
}  // namespace Zumeld
