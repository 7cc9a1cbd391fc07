// CGdiObject and CBitmap: owners of one GDI handle each. The object deletes an attached
// handle when it is destroyed; Detach hands the handle back to the caller instead.

#include "zumeld/platform/afx.h"

CGdiObject::~CGdiObject() {
    DeleteObject();
}

BOOL CGdiObject::Attach(HGDIOBJ hObject) {
    // A null handle is refused, and so is a second one: the first would be lost.
    if (hObject == nullptr || m_hObject != nullptr) return FALSE;
    m_hObject = hObject;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
    HGDIOBJ h = m_hObject;
    m_hObject = nullptr;
    return h;
}

BOOL CGdiObject::DeleteObject() {
    if (m_hObject == nullptr) return FALSE;
    return ::DeleteObject(Detach());
}

CBitmap::~CBitmap() = default;
