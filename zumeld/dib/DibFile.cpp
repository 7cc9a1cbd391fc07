// CCtrlDib: .bmp files. A file may start with the 14-byte file header
// or directly with the information header, which is the 40-byte form or the 12-byte core
// form (converted here into the 40-byte form, its 3-byte colour entries widened to 4).
// The channel masks of a BI_BITFIELDS picture are kept right behind the 40-byte header, as
// the device calls that draw and convert the DIB expect them.
// Headers are checked before any block is sized from them, so that every DIB this reads
// can be walked by any later reader without leaving its block.
#include "zumeld/dib/CtrlDib.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "zumeld/dib/DibFormat_p.h"
#include "zumeld/dib/DibHandles_p.h"
#include "zumeld/util/ReplaceFile.h"

namespace Zumeld {

namespace {

constexpr WORD kBitmapFileType = 0x4D42;  // "BM"
constexpr std::uint32_t kInfoHeaderBytes = sizeof(BITMAPINFOHEADER);
constexpr std::uint32_t kCoreHeaderBytes = sizeof(BITMAPCOREHEADER);
constexpr UINT kReadError = static_cast<UINT>(HFILE_ERROR);

// The file header travels as its 2-byte type, then the 12 bytes behind it. Each helper
// reports whether every byte moved.
bool ReadFileHeader(HFILE fh, tagBITMAPFILEHEADER* pbf) {
    auto* bytes = reinterpret_cast<BYTE*>(pbf);
    const bool type = _lread(fh, bytes, 2) == 2;
    const bool rest = _lread(fh, bytes + 2, sizeof *pbf - 2) == sizeof *pbf - 2;
    return type && rest;
}

bool WriteFileHeader(HFILE fh, const tagBITMAPFILEHEADER* pbf) {
    const auto* bytes = reinterpret_cast<const char*>(pbf);
    const bool type = _lwrite(fh, bytes, 2) == 2;
    const bool rest = _lwrite(fh, bytes + 2, sizeof *pbf - 2) == sizeof *pbf - 2;
    return type && rest;
}

bool SeekTo(HFILE fh, std::int64_t position) {
    if (position < 0 || position > INT32_MAX) return false;
    return _llseek(fh, static_cast<LONG>(position), FILE_BEGIN) == position;
}

// The 40-byte form of a 12-byte core header; the table counts are the derived entries.
BITMAPINFOHEADER FromCoreHeader(const BYTE* raw, WORD entries) {
    BITMAPCOREHEADER bc;
    std::memcpy(&bc, raw, sizeof bc);
    BITMAPINFOHEADER bi{};
    bi.biSize = kInfoHeaderBytes;
    bi.biWidth = bc.bcWidth;  // zero-extended from 16 bits
    bi.biHeight = bc.bcHeight;
    bi.biPlanes = bc.bcPlanes;
    bi.biBitCount = bc.bcBitCount;
    bi.biCompression = BI_RGB;
    bi.biClrUsed = entries;
    bi.biClrImportant = entries;
    return bi;
}

}  // namespace

// ---- Header of a DIB handle -----------------------------------------------------------------

int CCtrlDib::DibInfo(void* hbi, tagBITMAPINFOHEADER* lpbi) {
    if (!hbi || !lpbi) return 0;
    dib::LockedBlock block(hbi);
    if (!block.get()) return 0;
    // The first 40 bytes, or as many as a smaller block holds; the rest reads as 0.
    BITMAPINFOHEADER bi{};
    std::memcpy(&bi, block.get(), std::min<std::size_t>(sizeof bi, block.size()));
    if (bi.biSize != kCoreHeaderBytes) {
        if (bi.biSizeImage == 0)
            bi.biSizeImage = dib::DibImageBytes(bi.biWidth, bi.biHeight, bi.biBitCount).value_or(0);
        if (bi.biClrUsed == 0) bi.biClrUsed = dib::ColorTableEntries(&bi);
    }
    *lpbi = bi;
    return 1;
}

// ---- Chunked transfers ----------------------------------------------------------------------

unsigned long CCtrlDib::lread(int fh, void* pv, unsigned long ul) {
    if (!pv && ul != 0) return 0;
    return dib::TransferInChunks(static_cast<BYTE*>(pv), ul,
                                 [fh](BYTE* p, UINT n) { return _lread(fh, p, n); });
}

unsigned long CCtrlDib::lwrite(int fh, void* pv, unsigned long ul) {
    if (!pv && ul != 0) return 0;
    return dib::TransferInChunks(static_cast<BYTE*>(pv), ul, [fh](BYTE* p, UINT n) {
        return _lwrite(fh, reinterpret_cast<const char*>(p), n);
    });
}

// ---- File headers ---------------------------------------------------------------------------

void CCtrlDib::ReadBitMapFileHeaderandConvertToDwordAlign(int fh, tagBITMAPFILEHEADER* pbf,
                                                          unsigned long* lpdwoff) {
    const LONG position = _llseek(fh, 0, FILE_CURRENT);
    if (lpdwoff) *lpdwoff = static_cast<unsigned long>(position);
    if (pbf) ReadFileHeader(fh, pbf);
}

void CCtrlDib::WriteMapFileHeaderandConvertFromDwordAlignToPacked(int fh,
                                                                  tagBITMAPFILEHEADER* pbf) {
    if (pbf) WriteFileHeader(fh, pbf);
}

// ---- Reading --------------------------------------------------------------------------------

void* CCtrlDib::ReadDibBitmapInfo(int fh) {
    if (fh == HFILE_ERROR) return nullptr;

    // The file header, when the file has one; otherwise back to where it would have begun.
    const LONG start = _llseek(fh, 0, FILE_CURRENT);
    if (start < 0) return nullptr;
    tagBITMAPFILEHEADER bf{};
    ReadFileHeader(fh, &bf);
    std::uint32_t pixelOffset = bf.bfOffBits;
    if (bf.bfType != kBitmapFileType) {
        pixelOffset = 0;
        if (!SeekTo(fh, start)) return nullptr;
    }

    // The information header: 40 bytes, or a 12-byte core header (which a tiny file may hold
    // without 40 bytes behind its start).
    const LONG infoStart = _llseek(fh, 0, FILE_CURRENT);
    BYTE raw[kInfoHeaderBytes] = {};
    UINT got = _lread(fh, raw, sizeof raw);
    if (got == kReadError) got = 0;
    if (got < sizeof(DWORD)) return nullptr;
    const WORD entries = dib::ColorTableEntries(raw);
    BITMAPINFOHEADER bi;
    std::memcpy(&bi, raw, sizeof bi);
    const bool core = bi.biSize == kCoreHeaderBytes;
    if (core) {
        if (got < kCoreHeaderBytes) return nullptr;
        bi = FromCoreHeader(raw, entries);
        if (!SeekTo(fh, std::int64_t{infoStart} + kCoreHeaderBytes)) return nullptr;
    } else if (bi.biSize != kInfoHeaderBytes || got < kInfoHeaderBytes) {
        return nullptr;
    }

    // Refuse what no reader could walk safely; then give every uncompressed DIB exactly the
    // size its rows take (a smaller stated size would leave rows outside the block, a larger
    // one only bytes nobody reads).
    const auto pixels = dib::DibPixelBytes(bi);
    if (!pixels) return nullptr;
    if (bi.biSizeImage == 0 || (bi.biCompression != BI_RLE8 && bi.biCompression != BI_RLE4))
        bi.biSizeImage = *pixels;
    if (bi.biClrUsed == 0) bi.biClrUsed = dib::ColorTableEntries(&bi);

    // The three channel masks of BI_BITFIELDS stay behind the header, where devices read them.
    const WORD masks = dib::BitfieldMaskBytes(&bi);
    HGLOBAL h =
        GlobalAlloc(GHND, kInfoHeaderBytes + masks + std::size_t{entries} * sizeof(RGBQUAD));
    if (!h) return nullptr;
    {
        dib::LockedBlock block(h);
        if (!block.get()) {
            block.Unlock();
            GlobalFree(h);
            return nullptr;
        }
        std::memcpy(block.get(), &bi, sizeof bi);
        BYTE* table = block.get() + kInfoHeaderBytes + masks;
        // Short masks and tables are not reported: the block is zeroed, so missing masks
        // read as the default layout and missing entries as black.
        if (masks > 0) lread(fh, block.get() + kInfoHeaderBytes, masks);
        if (core) {
            lread(fh, table, std::size_t{entries} * sizeof(RGBTRIPLE));
            dib::WidenTriplesToQuads(table, entries);
        } else if (entries > 0) {
            lread(fh, table, std::size_t{entries} * sizeof(RGBQUAD));
        }
    }

    // Stand at the first pixel byte: through the file header's offset, or right behind the
    // masks and the table.
    const bool placed = pixelOffset == 0 || SeekTo(fh, std::int64_t{start} + pixelOffset);
    if (!placed) {
        GlobalFree(h);
        return nullptr;
    }
    return h;
}

void* CCtrlDib::OpenDIB(char* szFile) {
    if (!szFile) return nullptr;
    OFSTRUCT of{};
    dib::OpenedFile file(OpenFile(szFile, &of, OF_READ));
    if (!file.IsOpen()) return nullptr;

    HGLOBAL h = ReadDibBitmapInfo(file.get());
    if (!h) return nullptr;
    BITMAPINFOHEADER bi;
    DibInfo(h, &bi);
    const std::size_t pixelOffset = dib::DibPixelOffset(&bi);
    const std::size_t total = pixelOffset + bi.biSizeImage;

    HGLOBAL grown = GlobalReAlloc(h, total, GMEM_MOVEABLE | GMEM_ZEROINIT);
    if (!grown) {
        GlobalFree(h);
        return nullptr;
    }
    bool readFailed = false;
    {
        dib::LockedBlock block(grown);
        // A short file leaves the missing pixel bytes 0; a read that fails gives null.
        if (block.get() && block.size() >= total)
            dib::TransferInChunks(block.get() + pixelOffset, bi.biSizeImage, [&](BYTE* p, UINT n) {
                const UINT got = _lread(file.get(), p, n);
                readFailed = readFailed || got == static_cast<UINT>(HFILE_ERROR);
                return got;
            });
    }
    if (readFailed) {
        GlobalFree(grown);
        return nullptr;
    }
    return grown;
}

// ---- Writing --------------------------------------------------------------------------------

int CCtrlDib::WriteDIB(char* szFile, void* hdib) {
    if (!szFile || !hdib) return 0;
    dib::LockedBlock block(hdib);
    const std::size_t blockBytes = block.size();
    // The header fields read below must lie in the block, and the file size fit its field.
    if (!block.get() || blockBytes < kInfoHeaderBytes || blockBytes > dib::kMaxDibBlockBytes)
        return 0;

    tagBITMAPFILEHEADER bf{};
    bf.bfType = kBitmapFileType;
    bf.bfSize = static_cast<DWORD>(blockBytes + sizeof bf);
    bf.bfOffBits = static_cast<DWORD>(sizeof bf + dib::DibPixelOffset(block.get()));

    // Written beside the target and moved over it only when complete, so that a failed write
    // never replaces a good file with a broken one.
    const ByteRun runs[] = {{&bf, sizeof bf}, {block.get(), blockBytes}};
    return WriteFileReplacing(szFile, runs) == 0 ? 1 : 0;
}

}  // namespace Zumeld
