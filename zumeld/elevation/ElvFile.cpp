// The elevation file (.elv): header (encoding, width, height as 16-bit values), then raw rows
// (encoding 0), a code stream (1 and 2) or the compressed record (3, read by ReadJpeg).
// Storing writes the delta-and-run stream, or under save type 1 the cached compressed record
// while its picture is still the map's size.
#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include "zumeld/bitmap/Jpeg_p.h"
#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/elevation/ElvCodec.h"
#include "zumeld/elevation/ElvFile_p.h"
#include "zumeld/elevation/MapFields_p.h"
#include "zumeld/platform/pages.h"

namespace Zumeld {

namespace {

constexpr WORD kEncodingRaw = 0;
constexpr WORD kEncodingSeaRuns = 1;
constexpr WORD kEncodingDeltaRun = 2;
constexpr WORD kEncodingCompressed = 3;
// Sizes travel as signed 16-bit values.
constexpr int kMaxStoredSize = 32767;
// The first read allocates at least this much when the file's length is unknown.
constexpr std::uint64_t kMinReadChunk = 1 << 20;

// "The content of the elevation data file (.elv) is not valid."
constexpr char kBadFileMessage[] =
    "\xE6\xA8\x99\xE9\xAB\x98\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF\xE3\x83\x95\xE3\x82\xA1"
    "\xE3\x82\xA4\xE3\x83\xAB(.elv)\xE3\x81\xAE\xE5\x86\x85\xE5\xAE\xB9\xE3\x81\x8C\xE7\x95"
    "\xB0\xE5\xB8\xB8\xE3\x81\xA7\xE3\x81\x99";

// Every load ends here: the display grid no longer matches the map.
void ResetDisplayCache(CCtrlElvMap& map) {
    map.m_pDisplayElevation.reset();
    SetStretchArguments(map, 0);
}

// While a load runs after the old grid is gone, an exception (end of file, allocation) must
// leave a map without a grid rather than sizes that describe no block.
class LoadGuard {
  public:
    explicit LoadGuard(CCtrlElvMap& map) : m_map(map) {}
    ~LoadGuard() {
        if (!m_armed) return;
        DropGrid(m_map);
        ResetDisplayCache(m_map);
    }
    LoadGuard(const LoadGuard&) = delete;
    LoadGuard& operator=(const LoadGuard&) = delete;
    void Dismiss() { m_armed = false; }

  private:
    CCtrlElvMap& m_map;
    bool m_armed = true;
};

// Encoding 0: each row is one read of width cells; a short read leaves the rest of the map 0.
void ReadRawRows(CArchive& ar, short* grid, int stride, int width, int height) {
    const UINT rowBytes = static_cast<UINT>(width) * 2;
    bool ended = false;
    for (int r = 0; r < height; ++r) {
        short* row = grid + static_cast<std::ptrdiff_t>(r) * stride;
        const UINT got = ended ? 0 : ar.Read(row, rowBytes);
        if (got < rowBytes) {
            // A cell counts as read only when both its bytes arrived.
            std::fill(row + got / 2, row + width, static_cast<short>(0));
            ended = true;
        }
        if constexpr (std::endian::native == std::endian::big) {
            for (int c = 0; c < width; ++c)
                row[c] = static_cast<short>(static_cast<WORD>(row[c]) >> 8 |
                                            static_cast<WORD>(row[c]) << 8);
        }
    }
}

// True when the map holds a cached compressed image whose picture is the map's size. Once
// the map has been resized, cropped, rotated or given cells of another size, the image no
// longer describes the grid (a reload would refuse it and give sea), so the grid is coded
// instead; so is a cached stream whose size cannot be read.
bool CachedImageFitsGrid(const CCtrlElvMap& map, int width, int height) {
    if (!map.m_pCompressedData || map.m_nCompressedSize <= 0) return false;
    int pictureWidth = 0, pictureHeight = 0;
    return Quobel::JpegPictureSize(map.m_pCompressedData.get(),
                                   static_cast<std::size_t>(map.m_nCompressedSize), &pictureWidth,
                                   &pictureHeight) &&
           pictureWidth == width && pictureHeight == height;
}

void StoreMap(const CCtrlElvMap& map, CArchive& ar) {
    if (map.m_nWidth < 0 || map.m_nHeight < 0 || map.m_nWidth > kMaxStoredSize ||
        map.m_nHeight > kMaxStoredSize)
        throw CArchiveException(CArchiveException::genericException);
    WORD width = static_cast<WORD>(map.m_nWidth);
    WORD height = static_cast<WORD>(map.m_nHeight);

    if (width != 0 && height != 0 && !map.m_pElevation) width = height = 0;  // nothing to store
    if (width == 0 || height == 0) {
        ar << kEncodingDeltaRun << width << height;
        return;
    }
    if (map.m_nSaveType == 1 && CachedImageFitsGrid(map, width, height)) {
        // The cached record goes out unchanged.
        const int size = std::max(map.m_nCompressedSize, 0);
        ar << kEncodingCompressed << width << height
           << static_cast<WORD>(map.m_nCompressedMaxElevation) << static_cast<DWORD>(size);
        ar.Write(map.m_pCompressedData.get(), static_cast<UINT>(size));
        return;
    }
    // Coded in memory first: a failed allocation leaves the archive untouched.
    const std::uint64_t cells = static_cast<std::uint64_t>(width) * height;
    const std::size_t bound = static_cast<std::size_t>(ElvEncodeBound(cells));
    // Zeroed pages: of the bound's 3 bytes a cell only what the coder writes is touched.
    std::unique_ptr<std::uint8_t[], Platform::ZeroedBlockDeleter> block(
        static_cast<std::uint8_t*>(Platform::AllocateZeroedBlock(bound)),
        Platform::ZeroedBlockDeleter{bound});
    if (!block) throw std::bad_alloc();
    const std::size_t n = EncodeElvStream(map.m_pElevation.get(), map.m_nBufferWidth, width, height,
                                          block.get(), bound);
    ar << kEncodingDeltaRun << width << height << static_cast<DWORD>(n);
    ar.Write(block.get(), static_cast<UINT>(n));
}

}  // namespace

ArchiveBlock ReadArchiveBlock(CArchive& ar, std::uint64_t count) {
    // Nothing past the file's end can arrive, so its length bounds the first allocation.
    std::uint64_t hint = ar.GetFile() ? ar.GetFile()->GetLength() : 0;
    std::uint64_t cap = std::min(count, std::max(hint, kMinReadChunk));
    ArchiveBlock block;
    block.data = SharedBlock<BYTE>::Allocate(static_cast<std::size_t>(cap));
    for (;;) {
        block.size += ar.Read(block.data.get() + block.size, static_cast<UINT>(cap - block.size));
        block.bytes = block.data.get();
        if (block.size < cap || cap == count) return block;
        // The length was no bound (the file grew, or it has none): keep going, doubling.
        cap = std::min(count, cap * 2);
        SharedBlock<BYTE> bigger = SharedBlock<BYTE>::Allocate(static_cast<std::size_t>(cap));
        std::memcpy(bigger.get(), block.data.get(), block.size);
        block.data = bigger;
    }
}

ArchiveBlock ReadArchiveBlockInPlace(CArchive& ar, std::uint64_t count) {
    CFile* file = ar.GetFile();
    if (file == nullptr || (file->GetBufferPtr(CFile::bufferCheck) & CFile::bufferDirect) == 0)
        return ReadArchiveBlock(ar, count);
    ar.Flush();  // gives back the archive's read-ahead: the file stands where it stopped
    void* start = nullptr;
    void* end = nullptr;
    ArchiveBlock block;
    block.size = file->GetBufferPtr(CFile::bufferRead,
                                    static_cast<UINT>(std::min<std::uint64_t>(count, UINT_MAX)),
                                    &start, &end);
    block.bytes = static_cast<const BYTE*>(start);
    return block;
}

void CCtrlElvMap::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        StoreMap(*this, ar);
        return;
    }

    DeleteCompressedData();
    short encoding = 0, width = 0, height = 0;
    ar >> encoding >> width >> height;

    if (width < 0 || height < 0) {
        // No grid can be sized from this header.
        DropGrid(*this);
        ResetDisplayCache(*this);
        AfxMessageBox(kBadFileMessage, MB_OK, 0);
        return;
    }

    SetGridSizes(*this, width, height);
    m_pElevation.reset();
    LoadGuard guard(*this);
    if (width != 0 && height != 0) {
        const std::size_t cells =
            static_cast<std::size_t>(m_nBufferWidth) * static_cast<std::size_t>(m_nBufferHeight);
        switch (encoding) {
            case kEncodingRaw:
                m_pElevation = SharedBlock<short>::Allocate(cells);
                ReadRawRows(ar, m_pElevation.get(), m_nBufferWidth, width, height);
                FillGapOfElevationData();
                break;
            case kEncodingSeaRuns:
            case kEncodingDeltaRun: {
                m_pElevation = SharedBlock<short>::Allocate(cells);
                DWORD count = 0;
                ar >> count;
                // One read of the whole stream (none from memory); the decoder takes only
                // the bytes delivered.
                const ArchiveBlock stream = ReadArchiveBlockInPlace(ar, count);
                DecodeElvStream(
                    stream.bytes, stream.size,
                    encoding == kEncodingSeaRuns ? ElvStream::kSeaRuns : ElvStream::kDeltaRun,
                    m_pElevation.get(), m_nBufferWidth, width, height);
                FillGapOfElevationData();
                break;
            }
            case kEncodingCompressed:
                m_pElevation = SharedBlock<short>::Allocate(cells);
                ReadJpeg(ar);
                break;
            default:
                // Nothing more is read; the map keeps the header's size, all sea.
                m_pElevation = SharedBlock<short>::AllocateZeroed(cells);
                AfxMessageBox(kBadFileMessage, MB_OK, 0);
                break;
        }
    }
    guard.Dismiss();
    ResetDisplayCache(*this);
}

bool CCtrlElvMap::LoadElevationFile(CString& strPath) {
    CFile file;
    if (!file.Open(strPath, CFile::modeRead | CFile::typeBinary, nullptr)) return false;
    CArchive ar(&file, CArchive::load, 4096);
    try {
        Serialize(ar);
    } catch (...) {
        // The file is closed on the way out; the exception is the caller's.
        ar.Abort();
        file.Close();
        throw;
    }
    ar.Close();
    file.Close();
    return true;
}

}  // namespace Zumeld
