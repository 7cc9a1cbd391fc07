// The compressed record (encoding 3): the map as an 8-bit grey JPEG picture. Grey level g
// stands for elevation (g * M) / 255, M being the record's maximum; the JPEG bytes read are
// kept as a cache so that save type 1 writes them back unchanged.
#include <algorithm>
#include <climits>
#include <memory>
#include <new>

#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/elevation/ElvCodec.h"
#include "zumeld/elevation/ElvFile_p.h"

namespace Zumeld {

namespace {

constexpr WORD kEncodingCompressed = 3;
constexpr int kMaxStoredSize = 32767;
// Room beyond one byte per pixel for the JPEG headers and worst-case coding.
constexpr std::int64_t kJpegSlack = 65536;

// An 8-bit picture of the map's size with the grey palette (entry i = i, i, i).
bool CreateGreyPicture(CControlBmp& picture, int width, int height) {
    RGBQUAD palette[256];
    for (int i = 0; i < 256; ++i) {
        const BYTE v = static_cast<BYTE>(i);
        palette[i] = RGBQUAD{v, v, v, 0};
    }
    return picture.CreateBitmap(width, height, 8, 256, palette);
}

bool IsGreyPictureOf(const CControlBmp& picture, int width, int height) {
    return picture.GetBufferPtr() != nullptr && picture.GetBitCount() == 8 &&
           picture.GetWidth() == width && picture.GetHeight() == height;
}

}  // namespace

bool CCtrlElvMap::Save3djFile(CArchive& ar, int nQuality) {
    // Sizes beyond 16 bits cannot be recorded: nothing is written.
    if (m_nWidth < 0 || m_nHeight < 0 || m_nWidth > kMaxStoredSize || m_nHeight > kMaxStoredSize)
        return false;
    const int width = m_nWidth, height = m_nHeight;
    const bool hasCells = m_pElevation && width > 0 && height > 0;
    const short maxElevation =
        hasCells ? MaxElevationAboveSea(m_pElevation.get(), m_nBufferWidth, width, height) : 0;

    // The record is coded in memory first and written only when complete, so that a picture
    // that cannot be coded (or memory running out) leaves nothing of it in the archive.
    // The picture's rows run bottom-up in memory: the top row first, each next one lower.
    CControlBmp picture;
    if (hasCells && CreateGreyPicture(picture, width, height) &&
        IsGreyPictureOf(picture, width, height))
        ElevationsToGrey(m_pElevation.get(), m_nBufferWidth, width, height, maxElevation,
                         picture.GetBufferTopLeftPtr(), -picture.GetWidthBytes());

    const int outSize = static_cast<int>(
        std::min<std::int64_t>(static_cast<std::int64_t>(width) * height + kJpegSlack, INT_MAX));
    std::unique_ptr<BYTE[]> out(new BYTE[static_cast<std::size_t>(outSize)]);
    int produced = 0;
    if (!picture.CompressSaveJpeg(out.get(), outSize, &produced, nQuality) || produced < 0 ||
        produced > outSize)
        return false;
    ar << kEncodingCompressed << static_cast<WORD>(width) << static_cast<WORD>(height)
       << static_cast<WORD>(maxElevation) << static_cast<DWORD>(produced);
    ar.Write(out.get(), static_cast<UINT>(produced));
    return true;
}

void CCtrlElvMap::ReadJpeg(CArchive& ar) {
    short maxElevation = 0;
    DWORD count = 0;
    ar >> maxElevation >> count;

    // The cache holds the bytes the file delivered (its size fits the int that records it).
    DeleteCompressedData();
    ArchiveBlock stream = ReadArchiveBlock(ar, std::min<DWORD>(count, INT_MAX));
    m_pCompressedData = stream.data;
    m_nCompressedSize = static_cast<int>(stream.size);
    m_nCompressedMaxElevation = maxElevation;

    if (!m_pElevation || m_nWidth <= 0 || m_nHeight <= 0) return;
    CControlBmp picture;
    // The size is a valid map size, so a picture that cannot be made is memory running out:
    // the load fails (and the map is left without a grid) rather than turning to sea.
    if (!CreateGreyPicture(picture, m_nWidth, m_nHeight)) throw std::bad_alloc();
    const bool decoded = IsGreyPictureOf(picture, m_nWidth, m_nHeight) &&
                         picture.LoadJpegData(stream.data.get(), m_nCompressedSize, false);
    if (decoded) {
        GreyToElevations(picture.GetBufferTopLeftPtr(), -picture.GetWidthBytes(), m_nWidth,
                         m_nHeight, maxElevation, m_pElevation.get(), m_nBufferWidth);
    } else {
        // A stream that does not decode to a picture of the map's size gives sea.
        for (int r = 0; r < m_nHeight; ++r) {
            short* row = m_pElevation.get() + static_cast<std::ptrdiff_t>(r) * m_nBufferWidth;
            std::fill(row, row + m_nWidth, static_cast<short>(0));
        }
    }
    FillGapOfElevationData();
}

}  // namespace Zumeld
