// The one pixel conversion of the in-memory GDI: every read-out, write-in and blit between
// formats goes through ConvertPixels.
#include <bit>
#include <cstring>

#include "zumeld/platform/pixelformat_p.h"

namespace Zumeld::Platform {

namespace {

constexpr DWORD Pack(DWORD r, DWORD g, DWORD b) {
    return (r << 16) | (g << 8) | b;
}
constexpr int RedOf(DWORD c) {
    return static_cast<int>((c >> 16) & 0xFF);
}
constexpr int GreenOf(DWORD c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int BlueOf(DWORD c) {
    return static_cast<int>(c & 0xFF);
}

bool IsTableFormat(int bits) {
    return bits <= 8;
}

// A channel mask as position and width; an empty mask reads 0 and writes nothing.
struct Channel {
    DWORD mask = 0;
    int shift = 0;
    int bits = 0;
};

Channel MakeChannel(DWORD mask) {
    Channel c;
    if (mask == 0) return c;
    c.mask = mask;
    c.shift = std::countr_zero(mask);
    c.bits = static_cast<int>(std::bit_width(mask >> c.shift));
    return c;
}

// Widens an n-bit channel value to 8 bits by repeating its bits (5 bits: v << 3 | v >> 2),
// so that the largest value reads as 255; wider channels keep their top 8 bits.
DWORD WidenTo8(DWORD v, int bits) {
    if (bits >= 8) return (v >> (bits - 8)) & 0xFF;
    DWORD r = 0;
    for (int shift = 8 - bits; shift > -bits; shift -= bits)
        r |= shift >= 0 ? (v << shift) : (v >> -shift);
    return r & 0xFF;
}

// Narrows an 8-bit value into a channel: its top bits, the low bits 0 for wide channels.
DWORD NarrowFrom8(DWORD v8, const Channel& c) {
    if (c.bits == 0) return 0;
    const DWORD v = c.bits >= 8 ? v8 << (c.bits - 8) : v8 >> (8 - c.bits);
    return (v << c.shift) & c.mask;
}

// The masks of a 16 or 32-bit format, the default layout filled in.
void MasksOf(const PixelFormat& f, DWORD& r, DWORD& g, DWORD& b) {
    r = f.redMask;
    g = f.greenMask;
    b = f.blueMask;
    if (r == 0 && g == 0 && b == 0) {
        if (f.bitCount == 16) {
            r = 0x7C00;
            g = 0x03E0;
            b = 0x001F;
        } else {
            r = 0xFF0000;
            g = 0x00FF00;
            b = 0x0000FF;
        }
    }
}

bool IsPlainBgr32(const PixelFormat& f) {
    if (f.bitCount != 32) return false;
    DWORD r, g, b;
    MasksOf(f, r, g, b);
    return r == 0xFF0000 && g == 0x00FF00 && b == 0x0000FF;
}

DWORD TableColour(const PixelFormat& f, unsigned index) {
    if (f.colors == nullptr || index >= static_cast<unsigned>(f.numColors)) return 0;
    const RGBQUAD& q = f.colors[index];
    return Pack(q.rgbRed, q.rgbGreen, q.rgbBlue);
}

}  // namespace

unsigned NearestEntry(const PixelFormat& f, DWORD colour) {
    unsigned best = 0;
    long bestDist = -1;
    for (unsigned i = 0; i < (1u << f.bitCount); ++i) {
        const DWORD c = TableColour(f, i);
        const long dr = RedOf(colour) - RedOf(c);
        const long dg = GreenOf(colour) - GreenOf(c);
        const long db = BlueOf(colour) - BlueOf(c);
        const long d = dr * dr + dg * dg + db * db;
        if (bestDist < 0 || d < bestDist) {
            bestDist = d;
            best = i;
            if (d == 0) break;
        }
    }
    return best;
}

namespace {

// The red, green and blue channels of a 16 or 32-bit format (left empty at other depths).
void ChannelsOf(const PixelFormat& f, Channel (&ch)[3]) {
    if (f.bitCount != 16 && f.bitCount != 32) return;
    DWORD r, g, b;
    MasksOf(f, r, g, b);
    ch[0] = MakeChannel(r);
    ch[1] = MakeChannel(g);
    ch[2] = MakeChannel(b);
}

unsigned ReadIndex(const BYTE* row, int bits, int x) {
    if (bits == 8) return row[x];
    if (bits == 4) return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
    return (row[x >> 3] >> (7 - (x & 7))) & 0x01;
}

void WriteIndex(BYTE* row, int bits, int x, unsigned index) {
    if (bits == 8) {
        row[x] = static_cast<BYTE>(index);
    } else if (bits == 4) {
        const int shift = (x & 1) ? 0 : 4;
        BYTE& b = row[x >> 1];
        b = static_cast<BYTE>((b & ~(0x0F << shift)) | ((index & 0x0F) << shift));
    } else {
        const int shift = 7 - (x & 7);
        BYTE& b = row[x >> 3];
        b = static_cast<BYTE>((b & ~(1 << shift)) | ((index & 1) << shift));
    }
}

// Reads pixels of one format as 0x00RRGGBB.
class Reader {
  public:
    explicit Reader(const PixelFormat& f) : m_f(f), m_plain32(IsPlainBgr32(f)) {
        ChannelsOf(f, m_ch);
    }

    DWORD Read(const BYTE* row, int x) const {
        switch (m_f.bitCount) {
            case 1:
            case 4:
            case 8:
                return TableColour(m_f, ReadIndex(row, m_f.bitCount, x));
            case 16: {
                const BYTE* p = row + static_cast<std::ptrdiff_t>(x) * 2;
                return FromMasks(static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8));
            }
            case 24: {
                const BYTE* p = row + static_cast<std::ptrdiff_t>(x) * 3;
                return Pack(p[2], p[1], p[0]);
            }
            default: {
                const BYTE* p = row + static_cast<std::ptrdiff_t>(x) * 4;
                if (m_plain32) return Pack(p[2], p[1], p[0]);
                return FromMasks(static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
                                 (static_cast<DWORD>(p[2]) << 16) |
                                 (static_cast<DWORD>(p[3]) << 24));
            }
        }
    }

  private:
    DWORD FromMasks(DWORD pix) const {
        DWORD out[3];
        for (int i = 0; i < 3; ++i) {
            const Channel& c = m_ch[i];
            out[i] = c.bits == 0 ? 0 : WidenTo8((pix & c.mask) >> c.shift, c.bits);
        }
        return Pack(out[0], out[1], out[2]);
    }

    const PixelFormat& m_f;
    bool m_plain32;
    Channel m_ch[3];
};

// Writes 0x00RRGGBB colours in one format.
class Writer {
  public:
    explicit Writer(const PixelFormat& f) : m_f(f), m_plain32(IsPlainBgr32(f)) {
        ChannelsOf(f, m_ch);
    }

    void Write(BYTE* row, int x, DWORD colour) {
        switch (m_f.bitCount) {
            case 1:
            case 4:
            case 8:
                WriteIndex(row, m_f.bitCount, x, Nearest(colour));
                return;
            case 16: {
                const DWORD v = ToMasks(colour);
                BYTE* p = row + static_cast<std::ptrdiff_t>(x) * 2;
                p[0] = static_cast<BYTE>(v);
                p[1] = static_cast<BYTE>(v >> 8);
                return;
            }
            case 24: {
                BYTE* p = row + static_cast<std::ptrdiff_t>(x) * 3;
                p[0] = static_cast<BYTE>(BlueOf(colour));
                p[1] = static_cast<BYTE>(GreenOf(colour));
                p[2] = static_cast<BYTE>(RedOf(colour));
                return;
            }
            default: {
                BYTE* p = row + static_cast<std::ptrdiff_t>(x) * 4;
                const DWORD v = m_plain32 ? Pack(RedOf(colour), GreenOf(colour), BlueOf(colour))
                                          : ToMasks(colour);
                p[0] = static_cast<BYTE>(v);
                p[1] = static_cast<BYTE>(v >> 8);
                p[2] = static_cast<BYTE>(v >> 16);
                p[3] = static_cast<BYTE>(v >> 24);
                return;
            }
        }
    }

    // The table entry for a true colour (NearestEntry); colours going into 8-bit pixels are
    // first reduced to 5 bits a channel (the middle of their step), as Windows does. The
    // last answer is kept: runs of one colour are common.
    unsigned Nearest(DWORD colour) {
        if (m_haveLast && colour == m_lastColour) return m_lastIndex;
        m_haveLast = true;
        m_lastColour = colour;
        m_lastIndex =
            NearestEntry(m_f, m_f.bitCount == 8 ? (colour & 0xF8F8F8) | 0x040404 : colour);
        return m_lastIndex;
    }

  private:
    DWORD ToMasks(DWORD colour) const {
        return NarrowFrom8(static_cast<DWORD>(RedOf(colour)), m_ch[0]) |
               NarrowFrom8(static_cast<DWORD>(GreenOf(colour)), m_ch[1]) |
               NarrowFrom8(static_cast<DWORD>(BlueOf(colour)), m_ch[2]);
    }

    const PixelFormat& m_f;
    bool m_plain32;
    Channel m_ch[3];
    bool m_haveLast = false;
    DWORD m_lastColour = 0;
    unsigned m_lastIndex = 0;
};

// True when the two formats lay out true colours alike: a copy moves the pixels unchanged,
// the fourth byte of 32-bit pixels included.
bool SameDirectFormat(const PixelFormat& a, const PixelFormat& b) {
    if (a.bitCount != b.bitCount || IsTableFormat(a.bitCount)) return false;
    if (a.bitCount == 24) return true;
    DWORD ar, ag, ab, br, bg, bb;
    MasksOf(a, ar, ag, ab);
    MasksOf(b, br, bg, bb);
    return ar == br && ag == bg && ab == bb;
}

// The common true-colour cases, B, G, R bytes moved directly: 24 bits to and from plain 32
// bits (fourth byte 0). False when the formats are others.
bool CopyBgrBytes(const PixelFormat& from, const BYTE* src, int srcX, const PixelFormat& to,
                  BYTE* dst, int dstX, int count) {
    const bool from32 = IsPlainBgr32(from), to32 = IsPlainBgr32(to);
    const int inStep = from32 ? 4 : 3, outStep = to32 ? 4 : 3;
    if (!(from32 || from.bitCount == 24) || !(to32 || to.bitCount == 24) || (!from32 && !to32))
        return false;
    const BYTE* s = src + static_cast<std::ptrdiff_t>(srcX) * inStep;
    BYTE* d = dst + static_cast<std::ptrdiff_t>(dstX) * outStep;
    for (int i = 0; i < count; ++i, s += inStep, d += outStep) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        if (to32) d[3] = 0;
    }
    return true;
}

}  // namespace

bool SameLayout(const PixelFormat& a, const PixelFormat& b) {
    if (a.bitCount != b.bitCount) return false;
    if (!IsTableFormat(a.bitCount)) return SameDirectFormat(a, b);
    for (unsigned i = 0; i < (1u << a.bitCount); ++i)
        if (TableColour(a, i) != TableColour(b, i)) return false;
    return true;
}

void ConvertPixels(const PixelFormat& from, const BYTE* src, int srcX, const PixelFormat& to,
                   BYTE* dst, int dstX, int count) {
    if (count <= 0 || src == nullptr || dst == nullptr) return;
    if (SameDirectFormat(from, to)) {
        const std::size_t bpp = static_cast<std::size_t>(from.bitCount / 8);
        std::memmove(dst + dstX * bpp, src + srcX * bpp, count * bpp);
        return;
    }
    if (CopyBgrBytes(from, src, srcX, to, dst, dstX, count)) return;
    Writer writer(to);
    if (IsTableFormat(from.bitCount) && IsTableFormat(to.bitCount)) {
        // Index to index through a map of the source table, so each entry is matched once;
        // equal tables keep the indices.
        unsigned map[256];
        const int entries = 1 << from.bitCount;
        const bool same = SameLayout(from, to);
        for (int i = 0; i < entries; ++i)
            map[i] = same ? static_cast<unsigned>(i)
                          : NearestEntry(to, TableColour(from, static_cast<unsigned>(i)));
        for (int i = 0; i < count; ++i)
            WriteIndex(dst, to.bitCount, dstX + i, map[ReadIndex(src, from.bitCount, srcX + i)]);
        return;
    }
    const Reader reader(from);
    for (int i = 0; i < count; ++i) writer.Write(dst, dstX + i, reader.Read(src, srcX + i));
}

void ReadValues(const PixelFormat& f, const BYTE* row, int x, DWORD* out, int count) {
    const int bytes = f.bitCount / 8;
    if (bytes <= 1) {
        for (int i = 0; i < count; ++i) out[i] = ReadIndex(row, f.bitCount, x + i);
        return;
    }
    const BYTE* p = row + static_cast<std::ptrdiff_t>(x) * bytes;
    for (int i = 0; i < count; ++i, p += bytes) {
        DWORD v = static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8;
        if (bytes >= 3) v |= static_cast<DWORD>(p[2]) << 16;
        if (bytes == 4) v |= static_cast<DWORD>(p[3]) << 24;
        out[i] = v;
    }
}

void WriteValues(const PixelFormat& f, BYTE* row, int x, const DWORD* in, int count) {
    const int bytes = f.bitCount / 8;
    if (bytes <= 1) {
        for (int i = 0; i < count; ++i) WriteIndex(row, f.bitCount, x + i, in[i]);
        return;
    }
    BYTE* p = row + static_cast<std::ptrdiff_t>(x) * bytes;
    for (int i = 0; i < count; ++i, p += bytes) {
        p[0] = static_cast<BYTE>(in[i]);
        p[1] = static_cast<BYTE>(in[i] >> 8);
        if (bytes >= 3) p[2] = static_cast<BYTE>(in[i] >> 16);
        if (bytes == 4) p[3] = static_cast<BYTE>(in[i] >> 24);
    }
}

DWORD PixelValueOf(const PixelFormat& f, DWORD colour) {
    if (IsTableFormat(f.bitCount)) return NearestEntry(f, colour);
    BYTE pixel[4] = {};
    Writer(f).Write(pixel, 0, colour);
    DWORD v = 0;
    ReadValues(f, pixel, 0, &v, 1);
    return v;
}

}  // namespace Zumeld::Platform
