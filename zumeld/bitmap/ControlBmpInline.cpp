// The members of CControlBmp that are built into this library beside the class declaration.
#include <cstring>

#include "zumeld/bitmap/ControlBmp.h"

namespace Quobel {

void CControlBmp::ClearBuffer() {
    if (m_pBuffer == nullptr || m_nBmpHeight <= 0 || m_nWidthBytes <= 0) return;
    std::memset(m_pBuffer, 0, static_cast<std::size_t>(m_nBmpHeight) * m_nWidthBytes);
}

}  // namespace Quobel
