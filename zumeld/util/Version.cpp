#include "zumeld/zumeld.h"

namespace Zumeld {

const char* GetVersionString() { return "0.1.0"; }

}  // namespace Zumeld
