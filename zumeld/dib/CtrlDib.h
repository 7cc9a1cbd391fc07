// CCtrlDib: a stateless toolbox for device-independent bitmaps (DIBs). A DIB handle is a
// global-memory handle to a packed DIB: BITMAPINFOHEADER, the three channel masks when it
// is BI_BITFIELDS, colour table, bottom-up rows padded to 4 bytes. Handles it returns belong
// to the caller (free with GlobalFree); palettes and bitmaps it returns belong to the caller
// (free with DeleteObject).
#pragma once

#include "zumeld/platform/win32.h"

namespace Zumeld {

class ZUMELD_API CCtrlDib {
public:
    CCtrlDib() = default;
    virtual ~CCtrlDib();

    // ---- Files ---------------------------------------------------------------------------------
    void* OpenDIB(char* szFile);
    int WriteDIB(char* szFile, void* hdib);
    void* ReadDibBitmapInfo(int fh);
    int DibInfo(void* hbi, tagBITMAPINFOHEADER* lpbi);
    WORD DibNumColors(void* pv);
    WORD PaletteSize(void* pv);
    unsigned long lread(int fh, void* pv, unsigned long ul);
    unsigned long lwrite(int fh, void* pv, unsigned long ul);
    void ReadBitMapFileHeaderandConvertToDwordAlign(int fh, tagBITMAPFILEHEADER* pbf,
                                                    unsigned long* lpdwoff);
    void WriteMapFileHeaderandConvertFromDwordAlignToPacked(int fh, tagBITMAPFILEHEADER* pbf);

    // ---- Palettes and conversion -----------------------------------------------------------------
    HPALETTE CreateBIPalette(tagBITMAPINFOHEADER* lpbi);
    HPALETTE CreateDibPalette(void* hbi);
    void* DibFromBitmap(HBITMAP hbm, unsigned long biStyle, WORD biBits, HPALETTE hpal);
    HBITMAP BitmapFromDib(void* hdib, HPALETTE hpal);

    // ---- Drawing ---------------------------------------------------------------------------------
    int DrawBitmap(HDC hdc, int x, int y, HBITMAP hbm, unsigned long rop);
    int DibBlt(HDC hdc, int x0, int y0, int dx, int dy, void* hdib, int x1, int y1, long rop);
    int StretchDibBlt(HDC hdc, int x, int y, int dx, int dy, void* hdib, int x0, int y0, int dx0,
                      int dy0, long rop);
};

}  // namespace Zumeld
