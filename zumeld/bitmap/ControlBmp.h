// Quobel::CControlBmp: a pixel buffer with a bitmap handle. Rows run bottom-up in memory,
// GetWidthBytes() apart and padded to 4 bytes; pixels are B, G, R (24 bits) or B, G, R and
// a fourth byte (32 bits), or one palette index (8 bits). The handle and the pixel memory
// are one picture. Copies share the picture with their source; the last holder releases it.
// Not thread-safe: one buffer is used by one thread at a time.
#pragma once

#include <memory>

#include "zumeld/platform/win32.h"

namespace Quobel {

class ZUMELD_API CControlBmp {
public:
    // An empty buffer: no picture, all sizes 0. Safe to destroy and to re-create.
    CControlBmp();
    virtual ~CControlBmp();

    CControlBmp(const CControlBmp& src)
        : m_hBmp(src.m_hBmp),
          m_pBuffer(src.m_pBuffer),
          m_nBmpWidth(src.m_nBmpWidth),
          m_nBmpHeight(src.m_nBmpHeight),
          m_nWidthBytes(src.m_nWidthBytes),
          m_nBitCount(src.m_nBitCount),
          m_nPalletNum(src.m_nPalletNum),
          m_crDrawColor(src.m_crDrawColor),
          m_wDrawParam(src.m_wDrawParam),
          m_nDashState(src.m_nDashState),
          m_dDashProgress(src.m_dDashProgress),
          m_bGhostBitmap(src.m_bGhostBitmap),
          m_nExtra1(src.m_nExtra1),
          m_nExtra2(src.m_nExtra2),
          m_nCompressedDataType(src.m_nCompressedDataType),
          m_pCompressedDataBuffer(src.m_pCompressedDataBuffer),
          m_nCompressedDataSize(src.m_nCompressedDataSize),
          m_holder(src.m_holder) {}

    CControlBmp& operator=(const CControlBmp& src) {
        m_hBmp = src.m_hBmp;
        m_pBuffer = src.m_pBuffer;
        m_nBmpWidth = src.m_nBmpWidth;
        m_nBmpHeight = src.m_nBmpHeight;
        m_nWidthBytes = src.m_nWidthBytes;
        m_nBitCount = src.m_nBitCount;
        m_nPalletNum = src.m_nPalletNum;
        m_crDrawColor = src.m_crDrawColor;
        m_wDrawParam = src.m_wDrawParam;
        m_nDashState = src.m_nDashState;
        m_dDashProgress = src.m_dDashProgress;
        m_bGhostBitmap = src.m_bGhostBitmap;
        m_nExtra1 = src.m_nExtra1;
        m_nExtra2 = src.m_nExtra2;
        m_nCompressedDataType = src.m_nCompressedDataType;
        m_pCompressedDataBuffer = src.m_pCompressedDataBuffer;
        m_nCompressedDataSize = src.m_nCompressedDataSize;
        m_holder = src.m_holder;  // self-assignment safe: copying a shared_ptr onto itself
        return *this;
    }

    // ---- Accessors (built into this library) ------------------------------------------------
    HBITMAP GetHbmp() const { return m_hBmp; }
    BYTE* GetBufferPtr() const { return m_pBuffer; }
    // Start of the picture's top row.
    // Requires: a picture (GetBufferPtr() not null).
    BYTE* GetBufferTopLeftPtr() const {
        return m_pBuffer + static_cast<std::ptrdiff_t>(m_nWidthBytes) * (m_nBmpHeight - 1);
    }
    int GetWidth() const { return m_nBmpWidth; }
    int GetHeight() const { return m_nBmpHeight; }
    int GetWidthBytes() const { return m_nWidthBytes; }
    int GetBitCount() const { return m_nBitCount; }
    int GetPalletNum() const { return m_nPalletNum; }
    int GetPixelBytes() const { return m_nBitCount >> 3; }
    int GetCompressedDataType() const { return m_nCompressedDataType; }
    BYTE* GetCompressedDataBuffer() const { return m_pCompressedDataBuffer; }
    int GetCompressedDataSize() const { return m_nCompressedDataSize; }

    // Sets the whole pixel memory (padding included) to 0. Without a picture: nothing.
    void ClearBuffer();
    void SetDrawColor(COLORREF cr) { m_crDrawColor = cr; }
    void ResetDashProgress() {
        m_dDashProgress = 1.0;
        m_nDashState = 1;
    }
    void SetGhostBitmapType(bool bGhost) { m_bGhostBitmap = bGhost; }
    static COLORREF RGBQUADtoCOLORREF(RGBQUAD rgb) {
        return static_cast<COLORREF>(rgb.rgbRed) | (static_cast<COLORREF>(rgb.rgbGreen) << 8) |
               (static_cast<COLORREF>(rgb.rgbBlue) << 16);
    }

    // ---- The Quobel component -----------------------------------------------------------------
    // A new bottom-up picture of nWidth x nHeight pixels at 8, 24 or 32 bits, replacing the
    // old one; an 8-bit picture takes nPalletNum entries of pPallet (null: a grey ramp).
    // A new picture's pixels are 0, except that a 24- or 32-bit picture of the size and bit
    // count already held, shared with no copy, is kept as it is (same memory, same pixels).
    // Requires: 1 <= width, height; the picture fits in 2 GiB.
    // Otherwise: the buffer is left empty and false is returned.
    bool CreateBitmap(int nWidth, int nHeight, int nBitCount, int nPalletNum, RGBQUAD* pPallet);
    // A copy of any 1, 4, 8, 16, 24 or 32-bit bitmap at nBitCount (8, 24 or 32). At 32 bits
    // B, G, R are exact and the fourth byte is 0. A null or unknown handle: an empty buffer.
    void CreateDuplicate(HBITMAP hbmp, int nBitCount, int nPalletNum, RGBQUAD* pPallet);
    // Codes the picture (8-bit grey or 24/32-bit colour) as a JPEG stream into pOut.
    // nQuality is clamped to 1..100. Returns false when there is no picture or the stream
    // does not fit in nOutSize bytes; *pnProduced receives the length on success.
    bool CompressSaveJpeg(BYTE* pOut, int nOutSize, int* pnProduced, int nQuality);
    // Decodes a JPEG stream into the existing picture (converting grey/colour as needed).
    // A stream that is not JPEG, is cut short, or holds another picture size returns false
    // and leaves every pixel 0. bReserved is accepted and not used.
    bool LoadJpegData(const BYTE* pData, int nSize, bool bReserved);

protected:
    void Release();

    HBITMAP m_hBmp = nullptr;
    BYTE* m_pBuffer = nullptr;
    int m_nBmpWidth = 0;
    int m_nBmpHeight = 0;
    int m_nWidthBytes = 0;
    int m_nBitCount = 0;
    int m_nPalletNum = 0;
    COLORREF m_crDrawColor = 0;
    WORD m_wDrawParam = 0;
    int m_nDashState = 0;
    double m_dDashProgress = 0.0;
    bool m_bGhostBitmap = false;
    int m_nExtra1 = 0;
    int m_nExtra2 = 0;
    int m_nCompressedDataType = 0;
    BYTE* m_pCompressedDataBuffer = nullptr;
    int m_nCompressedDataSize = 0;
    // Holds the picture (handle and pixel memory) for every copy that shares it; the last
    // holder's release deletes the bitmap.
    std::shared_ptr<void> m_holder;
};

}  // namespace Quobel
