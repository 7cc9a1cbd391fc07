// CCtrlElvMap's texture table: adding a set (conversion to 32 bits, row reversal, the
// interleaved land texel and the sea plane), the default set from the library's bitmap
// resources, and emptying the table.
#include <algorithm>
#include <cstring>

#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/render/TexturePrep.h"

namespace Zumeld {

namespace {

// The 32-bit form of a set's bitmap: the bitmap itself when it is 32-bit, else its
// conversion into temp (an empty buffer when it cannot be converted).
const CControlBmp& As32Bit(const CControlBmp& bmp, CControlBmp& temp) {
    if (bmp.GetBitCount() == 32) return bmp;
    temp.CreateDuplicate(bmp.GetHbmp(), 32, 0, nullptr);
    return temp;
}

// A 32-bit picture of exactly width x height pixels whose rows can be read.
bool HasPixels(const CControlBmp& bmp, int width, int height) {
    return bmp.GetBufferPtr() != nullptr && bmp.GetBitCount() == 32 && bmp.GetWidth() == width &&
           bmp.GetHeight() == height && bmp.GetWidthBytes() >= width * 4;
}

// Slot parameters are at least 1: the renderer divides by them.
int AtLeastOne(int value) {
    return std::max(value, 1);
}

// The temporaries that hold converted bitmaps for the whole of one AddTexture call.
struct Converted {
    CControlBmp low, high, sea;
};

// Prepares season s of the set into slot; false (slot untouched) when the low texture is
// empty or cannot be converted, or the slot would be too large.
bool PrepareSlot(const tagTEXTURE_SET& set, int s, Converted& temp, tagTEXTURE_SLOT& slot) {
    const CControlBmp& low = As32Bit(set.bmpLow[s], temp.low);
    const CControlBmp& high = As32Bit(set.bmpHigh[s], temp.high);
    const CControlBmp& sea = As32Bit(set.bmpSea[s], temp.sea);
    const int width = low.GetWidth();
    const int height = low.GetHeight();
    const int plane = TexturePlaneSize(width, height);
    if (plane == 0 || !HasPixels(low, width, height)) return false;

    tagTEXTURE_SLOT out;
    out.nBlendElevation = AtLeastOne(set.nBlendElevation[s]);
    out.nFadeLineTop = AtLeastOne(set.nFadeLineTop[s]);
    out.nFadeLineBottom = AtLeastOne(set.nFadeLineBottom[s]);
    out.nWidth = width;
    out.nHeight = height;
    out.nRowBytes = width * 4;
    out.nPlaneSize = plane;
    out.pLandPixels = SharedBlock<BYTE>::Allocate(static_cast<std::size_t>(plane) * 3);
    BYTE* land = out.pLandPixels.get();
    out.pSeaPixels = land + static_cast<std::size_t>(plane) * 2;

    // Source buffers run bottom row first; the slot's planes run top row first.
    if (HasPixels(sea, width, height))
        PrepareSeaPlane(out.pSeaPixels, sea.GetBufferTopLeftPtr(), -sea.GetWidthBytes(), width,
                        height);
    else
        std::memset(out.pSeaPixels, 0, static_cast<std::size_t>(plane));
    if (HasPixels(high, width, height))
        PrepareLandPlane(land, low.GetBufferTopLeftPtr(), -low.GetWidthBytes(),
                         high.GetBufferTopLeftPtr(), -high.GetWidthBytes(), width, height);
    else
        std::memset(land, 0, static_cast<std::size_t>(plane) * 2);
    slot = out;
    return true;
}

constexpr int kDefaultTextureIds[3] = {2000, 2001, 2002};  // low land, high land, sea
constexpr int kDefaultTextureParameter = 2000;

}  // namespace

int CCtrlElvMap::AddTexture(tagTEXTURE_SET* pSet) {
    if (pSet == nullptr || m_nTextureSetCount < 0 || m_nTextureSetCount >= kMaxTextureSets)
        return -1;
    const int n = m_nTextureSetCount;
    const bool fourSeasons = (pSet->dwFlags & 1) != 0;
    const int seasons = fourSeasons ? 4 : 1;

    // Every season is prepared before the table changes, so a refused set or an allocation
    // failure leaves the table as it was.
    Converted temp;
    tagTEXTURE_SLOT prepared[4];
    for (int s = 0; s < seasons; ++s)
        if (!PrepareSlot(*pSet, s, temp, prepared[s])) return -1;

    std::copy(std::begin(prepared), std::end(prepared), m_textureSlots + n * 4);
    m_bFourSeasons[n] = fourSeasons;
    ++m_nTextureSetCount;
    return n;
}

int CCtrlElvMap::LoadDefaultTexture() {
    // Each CBitmap deletes its GDI bitmap when it goes out of scope, on every way out; the
    // local set goes first, as it is declared after them.
    CBitmap bitmaps[3];
    for (int i = 0; i < 3; ++i) {
        LPCSTR name = MAKEINTRESOURCE(kDefaultTextureIds[i]);
        HBITMAP hbmp = LoadBitmapA(AfxFindResourceHandle(name, RT_BITMAP), name);
        if (hbmp == nullptr) return -1;
        bitmaps[i].Attach(hbmp);
    }
    tagTEXTURE_SET set;
    set.dwFlags = 0;
    set.bmpLow[0].CreateDuplicate(bitmaps[0], 32, 0, nullptr);
    set.bmpHigh[0].CreateDuplicate(bitmaps[1], 32, 0, nullptr);
    set.bmpSea[0].CreateDuplicate(bitmaps[2], 32, 0, nullptr);
    set.nBlendElevation[0] = kDefaultTextureParameter;
    set.nFadeLineTop[0] = kDefaultTextureParameter;
    set.nFadeLineBottom[0] = kDefaultTextureParameter;
    return AddTexture(&set);
}

void CCtrlElvMap::RemoveAllTexture() {
    const int slots = std::clamp(m_nTextureSetCount, 0, kMaxTextureSets) * 4;
    for (int i = 0; i < slots; ++i) {
        m_textureSlots[i].pLandPixels.reset();
        m_textureSlots[i].pSeaPixels = nullptr;
    }
    m_nTextureSetCount = 0;
    m_nSelectedTexture = 0;
    m_nSeason = 0;
}

}  // namespace Zumeld
