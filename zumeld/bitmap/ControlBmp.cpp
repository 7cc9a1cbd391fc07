// The Quobel component of CControlBmp: pictures as GDI DIB sections, duplication of any
// bitmap, and JPEG coding. Copies share one picture through m_holder, whose release deletes
// the bitmap once, when the last copy lets go.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "zumeld/bitmap/ControlBmp.h"
#include "zumeld/bitmap/Jpeg_p.h"

namespace Quobel {

namespace {

// The largest picture a buffer may hold: its byte size stays within a 32-bit int.
constexpr std::uint64_t kMaxPictureBytes = 0x7FFFFFFF;

// A header followed by room for a full 8-bit colour table.
struct BitmapInfo256 {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
};

BITMAPINFO* AsBitmapInfo(BitmapInfo256& info) {
    return reinterpret_cast<BITMAPINFO*>(&info);
}

std::uint64_t RowBytes(int width, int bitCount) {
    return (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bitCount) + 31) / 32 * 4;
}

BitmapInfo256 MakeInfo(int width, int height, int bitCount) {
    BitmapInfo256 info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = height;  // positive: bottom-up rows
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(bitCount);
    info.header.biCompression = BI_RGB;
    return info;
}

void DeletePicture(void* hbmp) {
    ::DeleteObject(hbmp);
}

// A memory device context for GetDIBits and SetDIBits, which need one (Windows refuses a
// null context), deleted at the end of the scope.
class MemoryDc {
  public:
    MemoryDc() : m_hdc(::CreateCompatibleDC(nullptr)) {}
    ~MemoryDc() {
        if (m_hdc != nullptr) ::DeleteDC(m_hdc);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC get() const { return m_hdc; }

  private:
    HDC m_hdc;
};

}  // namespace

CControlBmp::CControlBmp() = default;

CControlBmp::~CControlBmp() {
    Release();
}

void CControlBmp::Release() {
    m_holder.reset();
    m_hBmp = nullptr;
    m_pBuffer = nullptr;
    m_nBmpWidth = 0;
    m_nBmpHeight = 0;
    m_nWidthBytes = 0;
    m_nBitCount = 0;
    m_nPalletNum = 0;
}

bool CControlBmp::CreateBitmap(int nWidth, int nHeight, int nBitCount, int nPalletNum,
                               RGBQUAD* pPallet) {
    // The map re-creates its target at every resampling: a 24- or 32-bit picture of the same
    // size that no copy shares keeps its pixel memory (and handle) as it is.
    if (m_pBuffer != nullptr && m_holder.use_count() == 1 && nBitCount != 8 &&
        nWidth == m_nBmpWidth && nHeight == m_nBmpHeight && nBitCount == m_nBitCount)
        return true;
    Release();
    if (nWidth <= 0 || nHeight <= 0) return false;
    if (nBitCount != 8 && nBitCount != 24 && nBitCount != 32) return false;
    const std::uint64_t rowBytes = RowBytes(nWidth, nBitCount);
    if (rowBytes * static_cast<std::uint64_t>(nHeight) > kMaxPictureBytes) return false;

    BitmapInfo256 info = MakeInfo(nWidth, nHeight, nBitCount);
    int entries = 0;
    if (nBitCount == 8) {
        if (pPallet != nullptr && nPalletNum > 0) {
            entries = std::min(nPalletNum, 256);
            std::copy(pPallet, pPallet + entries, info.colors);
        } else {
            // No palette given: a grey ramp, entry i = (i, i, i).
            entries = 256;
            for (int i = 0; i < 256; ++i) {
                const BYTE v = static_cast<BYTE>(i);
                info.colors[i] = RGBQUAD{v, v, v, 0};
            }
        }
        info.header.biClrUsed = static_cast<DWORD>(entries);
    }
    void* bits = nullptr;
    HBITMAP hbmp =
        ::CreateDIBSection(nullptr, AsBitmapInfo(info), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (hbmp == nullptr || bits == nullptr) {
        if (hbmp != nullptr) ::DeleteObject(hbmp);
        return false;
    }
    m_holder = std::shared_ptr<void>(static_cast<void*>(hbmp), DeletePicture);
    m_hBmp = hbmp;
    m_pBuffer = static_cast<BYTE*>(bits);
    m_nBmpWidth = nWidth;
    m_nBmpHeight = nHeight;
    m_nWidthBytes = static_cast<int>(rowBytes);
    m_nBitCount = nBitCount;
    m_nPalletNum = entries;
    return true;
}

void CControlBmp::CreateDuplicate(HBITMAP hbmp, int nBitCount, int nPalletNum, RGBQUAD* pPallet) {
    // The source may be this buffer's own picture: keep it alive until it has been read.
    const std::shared_ptr<void> keep = m_holder;
    BITMAP bm{};
    if (hbmp == nullptr || ::GetObjectA(hbmp, sizeof bm, &bm) != static_cast<int>(sizeof bm)) {
        Release();
        return;
    }
    // An 8-bit copy passes through rows of 32-bit pixels, which must fit a picture too.
    if (nBitCount == 8 && RowBytes(bm.bmWidth, 32) > kMaxPictureBytes) {
        Release();
        return;
    }
    if (!CreateBitmap(bm.bmWidth, bm.bmHeight, nBitCount, nPalletNum, pPallet)) return;

    const MemoryDc dc;
    bool ok = dc.get() != nullptr;
    if (m_nBitCount == 8) {
        // Through 32-bit pixels, so that every colour lands on the nearest entry of this
        // picture's own palette; in bands of rows to bound the scratch memory.
        BitmapInfo256 info = MakeInfo(m_nBmpWidth, m_nBmpHeight, 32);
        const std::uint64_t rowBytes = RowBytes(m_nBmpWidth, 32);  // at most kMaxPictureBytes
        const int band = static_cast<int>(std::clamp<std::uint64_t>(
            (std::uint64_t{1} << 20) / rowBytes, 1, static_cast<std::uint64_t>(m_nBmpHeight)));
        std::vector<BYTE> scratch(static_cast<std::size_t>(band * rowBytes));
        for (int start = 0; ok && start < m_nBmpHeight; start += band) {
            const int lines = std::min(band, m_nBmpHeight - start);
            ok = ::GetDIBits(dc.get(), hbmp, static_cast<UINT>(start), static_cast<UINT>(lines),
                             scratch.data(), AsBitmapInfo(info), DIB_RGB_COLORS) == lines &&
                 ::SetDIBits(dc.get(), m_hBmp, static_cast<UINT>(start), static_cast<UINT>(lines),
                             scratch.data(), AsBitmapInfo(info), DIB_RGB_COLORS) == lines;
        }
    } else if (ok) {
        BitmapInfo256 info = MakeInfo(m_nBmpWidth, m_nBmpHeight, m_nBitCount);
        ok = ::GetDIBits(dc.get(), hbmp, 0, static_cast<UINT>(m_nBmpHeight), m_pBuffer,
                         AsBitmapInfo(info), DIB_RGB_COLORS) == m_nBmpHeight;
    }
    if (!ok) Release();
}

bool CControlBmp::CompressSaveJpeg(BYTE* pOut, int nOutSize, int* pnProduced, int nQuality) {
    if (m_pBuffer == nullptr || pOut == nullptr || nOutSize <= 0) return false;
    const JpegPicture pic{GetBufferTopLeftPtr(), -static_cast<std::ptrdiff_t>(m_nWidthBytes),
                          m_nBmpWidth, m_nBmpHeight, GetPixelBytes()};
    std::size_t produced = 0;
    if (!EncodeJpeg(pic, nQuality, pOut, static_cast<std::size_t>(nOutSize), &produced))
        return false;
    if (pnProduced != nullptr) *pnProduced = static_cast<int>(produced);
    return true;
}

bool CControlBmp::LoadJpegData(const BYTE* pData, int nSize, bool bReserved) {
    (void)bReserved;
    if (m_pBuffer == nullptr) return false;
    const JpegPicture pic{GetBufferTopLeftPtr(), -static_cast<std::ptrdiff_t>(m_nWidthBytes),
                          m_nBmpWidth, m_nBmpHeight, GetPixelBytes()};
    const bool ok =
        pData != nullptr && nSize > 0 && DecodeJpeg(pData, static_cast<std::size_t>(nSize), pic);
    if (!ok) ClearBuffer();
    return ok;
}

}  // namespace Quobel
