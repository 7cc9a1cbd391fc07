// The geometry entry points with coordinates anywhere in the 32-bit range and any display
// size: CalcPolygon, PtInPolygon and DrawLineOnBitmapBuffer into a small target bitmap.
// The spans CalcPolygon returns must lie in the display and in the order it documents.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "FuzzInput.h"
#include "FuzzMap.h"

using namespace Zumeld;
using ZumeldFuzz::FuzzInput;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static CCtrlElvMap* map = new CCtrlElvMap(ZumeldFuzz::PrototypeMap());
    FuzzInput in(data, size);

    // The target bitmap: at most 64 x 64 of any depth the buffer supports.
    static constexpr int kDepths[] = {8, 16, 24, 32};
    const int bmpWidth = 1 + in.Byte() % 64, bmpHeight = 1 + in.Byte() % 64;
    CControlBmp target;
    RGBQUAD grey[256] = {};
    const int depth = kDepths[in.Byte() & 3];
    if (!target.CreateBitmap(bmpWidth, bmpHeight, depth, depth == 8 ? 256 : 0,
                             depth == 8 ? grey : nullptr))
        return 0;
    map->SetExternalBmp(&target);
    map->m_nDisplayWidth = in.Int();
    map->m_nDisplayHeight = in.Int();

    const int nPoints = in.Byte() % 64;
    std::vector<tagPOINT> points(static_cast<std::size_t>(nPoints) + 1);
    for (int i = 0; i < nPoints; ++i) points[static_cast<std::size_t>(i)] = {in.Int(), in.Int()};
    // Any count the caller could pass for the points it has (negative included).
    const int passed = in.Bool() ? nPoints : std::min<int>(in.Int(), nPoints);

    const int nMaxLines = static_cast<std::int16_t>(in.U16()) % 4097;
    std::vector<tagHorzLine> lines(static_cast<std::size_t>(std::max(nMaxLines, 0)) + 1);
    const int n = map->CalcPolygon(points.data(), passed, lines.data(), nMaxLines);
    if (n < 0 || n > std::max(nMaxLines, 0)) ZumeldFuzz::Fail("CalcPolygon count out of range");
    // Columns above 32767 are stored as 32767 and rows as their low 16 bits, so rows are
    // checked only for displays whose rows all fit.
    const bool rowsFit = map->m_nDisplayHeight <= 32768;
    for (int i = 0; i < n; ++i) {
        const tagHorzLine& l = lines[static_cast<std::size_t>(i)];
        if (l.left < 0 || l.left > l.right || l.right >= std::min(map->m_nDisplayWidth, 32768))
            ZumeldFuzz::Fail("CalcPolygon span columns outside the display");
        if (rowsFit && (l.y < 0 || l.y >= map->m_nDisplayHeight ||
                        (i > 0 && l.y < lines[static_cast<std::size_t>(i) - 1].y)))
            ZumeldFuzz::Fail("CalcPolygon span rows outside the display or not ascending");
    }

    (void)map->PtInPolygon(tagPOINT{in.Int(), in.Int()}, points.data(), passed);

    const int nLines = in.Byte() % 8;
    for (int i = 0; i < nLines; ++i) {
        const tagPOINT a{in.Int(), in.Int()}, b{in.Int(), in.Int()};
        map->DrawLineOnBitmapBuffer(a, b, in.U32());
    }
    map->SetInternalBmp();
    return 0;
}
