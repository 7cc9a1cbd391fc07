// The members of CCtrlElvMap for the sea fill and the overlay picture: they read the map's
// fields and run the passes of SeaOverlay.h on the current target.
#include "zumeld/elevation/CtrlElvMap.h"
#include "zumeld/render/SeaOverlay.h"

namespace Zumeld {

namespace {

// A global-memory block locked for the life of the object and freed with it.
class LockedGlobal {
  public:
    explicit LockedGlobal(HGLOBAL h) : m_h(h), m_p(h ? GlobalLock(h) : nullptr) {}
    ~LockedGlobal() {
        if (m_p != nullptr) GlobalUnlock(m_h);
        if (m_h != nullptr) GlobalFree(m_h);
    }
    LockedGlobal(const LockedGlobal&) = delete;
    LockedGlobal& operator=(const LockedGlobal&) = delete;
    const BYTE* data() const { return static_cast<const BYTE*>(m_p); }
    std::size_t size() const { return m_p != nullptr ? GlobalSize(m_h) : 0; }

  private:
    HGLOBAL m_h;
    void* m_p;
};

OverlayView DisplayOverlayOf(const CCtrlElvMap& m) {
    OverlayView o;
    o.pixels = m.m_pDisplayOverlap.get();
    o.width = m.m_nDisplayOverlapWidth;
    o.height = m.m_nDisplayOverlapHeight;
    o.rowBytes = m.m_nDisplayOverlapRowBytes;
    return o;
}

}  // namespace

void CCtrlElvMap::FillSeaColorOnBitmapBuffer() {
    if (m_nDisplayWidth <= 0 || m_nDisplayHeight <= 0) return;
    // Always set 0's sea, whichever set is selected.
    const tagTEXTURE_SLOT* slot =
        FindLiveSlot(m_textureSlots, m_bFourSeasons, m_nTextureSetCount, 0, m_nSeason);
    if (slot == nullptr) return;
    const TexturePlanes planes = PlanesOf(*slot);
    const TextureOrigin origin = MakeTextureOrigin(m_dDisplayScale, m_nStretchLeft, m_nStretchTop,
                                                   planes.rowBytes, planes.planeSize);
    FillSea(planes, origin, m_nDisplayWidth, m_nDisplayHeight, SurfaceOf(m_pBmp));
}

void CCtrlElvMap::SetOverlapBitmap(HBITMAP hBitmap, int nOverlapParam1, int nOverlapParam2) {
    m_nOverlapParam1 = nOverlapParam1;
    m_nOverlapParam2 = nOverlapParam2;
    m_pOverlapPixels.reset();
    if (hBitmap == nullptr) return;  // the size fields keep their values

    TopFirstPicture pic;
    {
        LockedGlobal dib(static_cast<HGLOBAL>(m_dib.DibFromBitmap(hBitmap, BI_RGB, 32, nullptr)));
        pic = CopyDibTopFirst(dib.data(), dib.size());
    }
    // A bitmap that cannot be converted leaves no picture, with sizes 0.
    m_pOverlapPixels = pic.pixels;
    m_nOverlapWidth = pic.width;
    m_nOverlapHeight = pic.height;
    m_nOverlapRowBytes = pic.rowBytes;
}

void CCtrlElvMap::OverlapPictureOnBitmapBuffer() {
    BlendOverlayWhole(DisplayOverlayOf(*this), SurfaceOf(m_pBmp));
}

void CCtrlElvMap::OverlapPictureOnBitmapBuffer(int nX, int nY, int nCx, int nCy) {
    BlendOverlayRect(DisplayOverlayOf(*this), nX, nY, nCx, nCy, SurfaceOf(m_pBmp));
}

}  // namespace Zumeld
