// The .elv loader over any bytes: CCtrlElvMap::Serialize from a memory archive, through every
// encoding and the compressed record's JPEG decoder. After the load the map either holds a
// grid whose sizes and margin agree, or none; the loaded map must also store again.
#include <cstddef>
#include <cstdint>

#include "FuzzMap.h"
#include "zumeld/platform/afx.h"

using namespace Zumeld;

namespace {

// Headers naming more cells than this are skipped: a raw-encoded 32767 x 32767 map is a
// valid 2 GB grid, too big for a fuzzing process; a grid of 2^18 cells runs the same loops
// and keeps the target fast.
constexpr std::int64_t kMaxFuzzCells = std::int64_t{1} << 18;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size >= 6) {
        const std::int64_t w = static_cast<std::int16_t>(data[2] | data[3] << 8);
        const std::int64_t h = static_cast<std::int16_t>(data[4] | data[5] << 8);
        if ((w + 1) * (h + 1) > kMaxFuzzCells) return -1;
    }
    CCtrlElvMap map(ZumeldFuzz::PrototypeMap());
    {
        CMemFile file(data, size);
        CArchive ar(&file, CArchive::load);
        try {
            map.Serialize(ar);
        } catch (const CArchiveException&) {
        } catch (const CFileException&) {
        }
    }
    ZumeldFuzz::CheckMapInvariants(map, nullptr, /*checkMargin=*/false);
    if (map.m_pElevation && map.m_nWidth > 0 && map.m_nHeight > 0) {
        // What was loaded stores and loads again with the same size.
        CMemFile out;
        {
            CArchive ar(&out, CArchive::store);
            map.Serialize(ar);
            ar.Close();
        }
        CCtrlElvMap again(ZumeldFuzz::PrototypeMap());
        CMemFile in(out.Data().data(), out.Data().size());
        CArchive ar(&in, CArchive::load);
        again.Serialize(ar);
        if (again.m_nWidth != map.m_nWidth || again.m_nHeight != map.m_nHeight)
            ZumeldFuzz::Fail("a stored map loads with another size");
    }
    return 0;
}
