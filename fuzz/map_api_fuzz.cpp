// Any sequence of CCtrlElvMap calls with any arguments, decoded from the fuzzer's bytes, on
// two map slots and one external target bitmap. After each call the map's sizes agree with
// its grid, a transform leaves the margin repeating the last column and row, and the target
// pointer is the map's own bitmap or the external one. Calls whose result would exceed
// kMaxCells cells (or a display of kMaxCells pixels) are skipped, so that no input can make
// the process allocate gigabytes; their argument checks are reached through smaller sizes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "FuzzInput.h"
#include "FuzzMap.h"

using namespace Zumeld;
using ZumeldFuzz::FuzzInput;

namespace {

constexpr std::int64_t kMaxCells = std::int64_t{1} << 20;
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 19;

bool Fits(std::int64_t w, std::int64_t h, std::int64_t limit = kMaxCells) {
    return (std::abs(w) + 1) * (std::abs(h) + 1) <= limit;
}

std::int64_t Cells(const CCtrlElvMap& m) {
    return m.m_pElevation ? (std::int64_t{m.m_nWidth} + 1) * (std::int64_t{m.m_nHeight} + 1) : 0;
}

enum Op : std::uint8_t {
    kCreate,
    kCanvas,
    kClip,
    kSetData,
    kClear,
    kCopyToNew,
    kFillGap,
    kModified,
    kErase,
    kDeleteCompressed,
    kStretch,
    kStretchBuffer,
    kDrawAll,
    kDrawLines,
    kDrawPoints,
    kFillSea,
    kOverlap,
    kOverlapRect,
    kDrawLine,
    kSink,
    kSize,
    kRotate,
    kSector,
    kBarrel,
    kCopy,
    kAssign,
    kSelfAssign,
    kDestroy,
    kSettings,
    kExternal,
    kInternal,
    kStoreLoad,
    kOpCount
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    CControlBmp external;
    std::unique_ptr<CCtrlElvMap> maps[2] = {
        std::make_unique<CCtrlElvMap>(ZumeldFuzz::PrototypeMap()),
        std::make_unique<CCtrlElvMap>(ZumeldFuzz::PrototypeMap())};
    for (int step = 0; step < 64 && !in.Empty(); ++step) {
        const std::uint8_t opByte = in.Byte();
        CCtrlElvMap& m = *maps[opByte >> 7];
        CCtrlElvMap& other = *maps[(opByte >> 7) ^ 1];
        bool transform = false;
        const short* gridBefore = m.m_pElevation.get();
        switch (static_cast<Op>((opByte & 0x7F) % kOpCount)) {
            case kCreate: {
                const int w = in.Int(), h = in.Int();
                if (Fits(w, h)) m.CreateNewMap(w, h);
                break;
            }
            case kCanvas: {
                const int w = in.Int(), h = in.Int();
                if (Fits(w, h)) m.ChangeCanvasSize(w, h);
                break;
            }
            case kClip: {
                const int l = in.Int(), t = in.Int(), w = in.Int(), h = in.Int();
                m.ClipArea(l, t, w, h);
                break;
            }
            case kSetData: {
                const int w = in.Byte() % 40, h = in.Byte() % 40;
                std::vector<short> cells(static_cast<std::size_t>(w) * h + 1);
                for (short& c : cells) c = static_cast<short>(in.U16());
                m.SetElevationData(w, h, cells.data());
                transform = true;  // the margin is filled from the data
                break;
            }
            case kClear:
                m.ClearElevationData();
                break;
            case kCopyToNew:
                m.CopyElevationDataToNewBuffer();
                break;
            case kFillGap:
                m.FillGapOfElevationData();
                break;
            case kModified:
                m.ElevationDataModified();
                break;
            case kErase:
                m.EraseLandTopography();
                break;
            case kDeleteCompressed:
                m.DeleteCompressedData();
                break;
            case kStretch: {
                const int l = in.Int(), t = in.Int(), sw = in.Int(), sh = in.Int(), dw = in.Int(),
                          dh = in.Int();
                if (Fits(dw, dh, kMaxPixels)) m.StretchElevationData(l, t, sw, sh, dw, dh);
                break;
            }
            case kStretchBuffer: {
                const int l = in.Int(), t = in.Int(), sw = in.Int(), sh = in.Int(), dw = in.Int(),
                          dh = in.Int(), bw = in.Int(), bh = in.Int(), fw = in.Int(), fh = in.Int();
                if (Fits(bw, bh) && Fits(dw, dh, kMaxPixels)) {
                    short* cells = m.StretchElevationData(l, t, sw, sh, dw, dh, bw, bh, fw, fh);
                    if (cells) {
                        // Every cell of the buffer belongs to the caller and may be touched.
                        volatile short sink = cells[static_cast<std::ptrdiff_t>(bw) * bh - 1];
                        (void)sink;
                    }
                    delete[] cells;
                }
                break;
            }
            case kDrawAll: {
                const bool shade = in.Bool(), texture = in.Bool(), dim = in.Bool();
                m.DrawAllMapOnBitmapBuffer(shade, texture, in.U32(), dim);
                break;
            }
            case kDrawLines: {
                const int n = in.Byte() % 16;
                std::vector<tagHorzLine> lines(static_cast<std::size_t>(n) + 1);
                for (auto& l : lines)
                    l = {static_cast<short>(in.U16()), static_cast<short>(in.U16()),
                         static_cast<short>(in.U16())};
                const int passed = in.Bool() ? n : std::min(in.Int(), n);
                const int tone = in.Int();
                const bool shade = in.Bool(), texture = in.Bool(), paint = in.Bool();
                m.DrawPolygonOnBitmapBuffer(lines.data(), passed, tone, shade, texture, in.U32(),
                                            paint);
                break;
            }
            case kDrawPoints: {
                const int n = in.Byte() % 16;
                std::vector<tagPOINT> points(static_cast<std::size_t>(n) + 1);
                for (auto& p : points) p = {in.Int(), in.Int()};
                const int passed = in.Bool() ? n : std::min(in.Int(), n);
                const int tone = in.Int();
                const bool shade = in.Bool(), texture = in.Bool(), paint = in.Bool();
                m.DrawPolygonOnBitmapBuffer(points.data(), passed, tone, shade, texture, in.U32(),
                                            paint);
                break;
            }
            case kFillSea:
                m.FillSeaColorOnBitmapBuffer();
                break;
            case kOverlap:
                m.OverlapPictureOnBitmapBuffer();
                break;
            case kOverlapRect: {
                const int x = in.Int(), y = in.Int(), cx = in.Int(), cy = in.Int();
                m.OverlapPictureOnBitmapBuffer(x, y, cx, cy);
                break;
            }
            case kDrawLine: {
                const tagPOINT a{in.Int(), in.Int()}, b{in.Int(), in.Int()};
                m.DrawLineOnBitmapBuffer(a, b, in.U32());
                break;
            }
            case kSink: {
                const int d = in.Int(), l = in.Int(), t = in.Int(), w = in.Int(), h = in.Int();
                const bool keep = in.Bool();
                m.TransSink(d, l, t, w, h, keep, in.Bool());
                transform = true;
                break;
            }
            case kSize: {
                const int w = in.Int(), h = in.Int();
                // The work grows with the old height times the new width (the row pass feeds
                // every new column from every old row): bound that product too.
                if (Fits(w, h) && Fits(w, m.m_nHeight)) m.TransSize(w, h, in.Bool());
                transform = true;
                break;
            }
            case kRotate: {
                const int angle = in.Int();
                // The turned map's bounding box holds at most (w + h)^2 cells.
                if (Fits(m.m_nWidth + std::int64_t{m.m_nHeight},
                         m.m_nWidth + std::int64_t{m.m_nHeight}))
                    m.TransRotate(angle, in.Bool());
                transform = true;
                break;
            }
            case kSector: {
                const double angle = in.Double(), inner = in.Double();
                // The fan's outer radius is the map's height over (1 - inner / 100), plus its
                // width's arc: bound the box by the larger side scaled that way.
                const double side = std::max(m.m_nWidth, m.m_nHeight) + 2.0;
                const double radius = side / std::max(1.0 - inner / 100.0, 1e-9) + side;
                if (2 * radius + 2 < 2048 && Fits(static_cast<std::int64_t>(2 * radius + 2),
                                                  static_cast<std::int64_t>(2 * radius + 2)))
                    m.TransSector(angle, inner, in.Bool());
                transform = true;
                break;
            }
            case kBarrel: {
                const double a = in.Double(), b = in.Double(), c = in.Double();
                m.TransBarrel(a, b, c, in.Bool());
                transform = true;
                break;
            }
            case kCopy: {
                if (Cells(m) <= kMaxCells) {
                    auto copy = std::make_unique<CCtrlElvMap>(m);
                    ZumeldFuzz::CheckMapInvariants(*copy, &external, false);
                    maps[(opByte >> 7) ^ 1] = std::move(copy);
                }
                continue;  // `m` may be the slot just replaced: check the copy only
            }
            case kAssign:
                other = m;
                break;
            case kSelfAssign: {
                CCtrlElvMap& self = m;
                m = self;
                break;
            }
            case kDestroy:
                maps[opByte >> 7] = std::make_unique<CCtrlElvMap>(ZumeldFuzz::PrototypeMap());
                continue;
            case kSettings:
                m.SelectTexture(in.Int());
                m.SetSeason(in.Int());
                m.SetReliefLevel(in.Int());
                m.SetSaveType(in.Int());
                break;
            case kExternal:
                m.SetExternalBmp(&external);
                break;
            case kInternal:
                m.SetInternalBmp();
                break;
            case kStoreLoad: {
                CMemFile file;
                try {
                    {
                        CArchive ar(&file, CArchive::store);
                        m.Serialize(ar);
                        ar.Close();
                    }
                    const std::int64_t w = m.m_nWidth, h = m.m_nHeight;
                    const bool had = m.m_pElevation && w > 0 && h > 0;
                    CMemFile back(file.Data().data(), file.Data().size());
                    CArchive ar(&back, CArchive::load);
                    m.Serialize(ar);
                    if (had && (m.m_nWidth != w || m.m_nHeight != h || !m.m_pElevation))
                        ZumeldFuzz::Fail("a stored map loads with another size");
                } catch (const CArchiveException&) {
                    // Storing refuses sizes the file cannot hold; nothing was written then.
                }
                transform = true;
                break;
            }
            case kOpCount:
                break;
        }
        ZumeldFuzz::CheckMapInvariants(*maps[0], &external, false);
        ZumeldFuzz::CheckMapInvariants(*maps[1], &external, false);
        // A call that installed a new grid has filled its margin.
        if (transform && m.m_pElevation.get() != gridBefore)
            ZumeldFuzz::CheckMapInvariants(m, &external, true);
    }
    return 0;
}
