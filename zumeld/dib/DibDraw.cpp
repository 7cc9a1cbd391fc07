// CCtrlDib: drawing device bitmaps and DIBs on a device context. A null DIB handle turns
// the DIB calls into a pattern fill of the destination rectangle.
#include "zumeld/dib/CtrlDib.h"
#include "zumeld/dib/DibFormat_p.h"
#include "zumeld/dib/DibHandles_p.h"

namespace Zumeld {

int CCtrlDib::DrawBitmap(HDC hdc, int x, int y, HBITMAP hbm, unsigned long rop) {
    if (!hdc || !hbm) return 0;
    BITMAP bm{};
    if (GetObjectA(hbm, sizeof bm, &bm) == 0) return 0;
    HDC memory = CreateCompatibleDC(hdc);
    if (!memory) return 0;
    HGDIOBJ previous = SelectObject(memory, hbm);
    const int result =
        BitBlt(hdc, x, y, bm.bmWidth, bm.bmHeight, memory, 0, 0, static_cast<DWORD>(rop));
    // Hand the bitmap back before the context goes, so that the caller can select it again.
    if (previous) SelectObject(memory, previous);
    DeleteDC(memory);
    return result;
}

int CCtrlDib::DibBlt(HDC hdc, int x0, int y0, int dx, int dy, void* hdib, int x1, int y1,
                     long rop) {
    if (!hdib) return PatBlt(hdc, x0, y0, dx, dy, static_cast<DWORD>(rop));
    dib::LockedBlock block(hdib);
    if (!block.get()) return 0;
    const auto layout = dib::DibLayoutInBlock(block.get(), block.size());
    if (!layout) return 0;
    const auto* info = reinterpret_cast<const BITMAPINFO*>(block.get());
    const LONG height = info->bmiHeader.biHeight;
    const UINT lines = static_cast<UINT>(height < 0 ? -static_cast<std::int64_t>(height) : height);
    // Every scan line of the DIB is handed over, from the first, so that the source position
    // alone picks the part of the picture that is shown.
    if (dx > 0 && dy > 0)
        SetDIBitsToDevice(hdc, x0, y0, static_cast<DWORD>(dx), static_cast<DWORD>(dy), x1, y1, 0,
                          lines, block.get() + layout->pixelOffset, info, DIB_RGB_COLORS);
    return 1;
}

int CCtrlDib::StretchDibBlt(HDC hdc, int x, int y, int dx, int dy, void* hdib, int x0, int y0,
                            int dx0, int dy0, long rop) {
    if (!hdib) return PatBlt(hdc, x, y, dx, dy, static_cast<DWORD>(rop));
    dib::LockedBlock block(hdib);
    if (!block.get()) return 0;
    const auto layout = dib::DibLayoutInBlock(block.get(), block.size());
    if (!layout) return 0;
    return StretchDIBits(hdc, x, y, dx, dy, x0, y0, dx0, dy0, block.get() + layout->pixelOffset,
                         reinterpret_cast<const BITMAPINFO*>(block.get()), DIB_RGB_COLORS,
                         static_cast<DWORD>(rop));
}

}  // namespace Zumeld
