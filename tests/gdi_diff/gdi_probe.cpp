// The GDI probe: makes the same GDI calls through whichever GDI it is built with (the
// platform layer's, or Windows' through <windows.h>) and prints one line per case,
// "group.case: results" in hex. Two builds agree where their lines are equal. With a group
// name as argument it prints only that group.
#ifdef _WIN32
#include <windows.h>
#else
#include "zumeld/platform/win32.h"
#endif
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

namespace {

const char* g_only = nullptr;
const char* g_group = "";
std::string g_line;  // the results of the case being run

void Group(const char* name) {
    g_group = name;
}
void Put(long long v) {
    char b[24];
    std::snprintf(b, sizeof b, " %lld", v);
    g_line += b;
}
void PutBytes(const void* p, std::size_t n) {
    g_line += " ";
    for (std::size_t i = 0; i < n; ++i) {
        char b[3];
        std::snprintf(b, sizeof b, "%02x", static_cast<const BYTE*>(p)[i]);
        g_line += b;
    }
}
// Ends a case: prints its line (when its group is wanted) and starts the next.
template <class... A>
void Case(const char* name, A... a) {
    char s[80];
    std::snprintf(s, sizeof s, name, a...);
    if (g_only == nullptr || std::strcmp(g_only, g_group) == 0)
        std::printf("%s.%s:%s\n", g_group, s, g_line.c_str());
    g_line.clear();
}

struct Info {  // a header with room for a full colour table or three masks
    BITMAPINFOHEADER h;
    RGBQUAD c[256];
    BITMAPINFO* bmi() { return reinterpret_cast<BITMAPINFO*>(this); }
};
Info MakeInfo(int w, int h, int bits, DWORD used = 0, DWORD compression = BI_RGB) {
    Info i{};
    i.h = {
        sizeof(BITMAPINFOHEADER), w, h, 1, static_cast<WORD>(bits), compression, 0, 0, 0, used, 0};
    return i;
}

// Colour table entry i: distinct colours in an order unrelated to the index bits; entry 1
// is the brush colour.
RGBQUAD Entry(int i) {
    if (i == 1) return {0x30, 0x08, 0xF0, 0};
    return {static_cast<BYTE>(i * 73 + 5), static_cast<BYTE>(i * 151 + 90),
            static_cast<BYTE>(255 - i * 29), 0};
}
RGBQUAD Grey(int i) {
    return {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
}

// A DIB section (table entries table(i)) in a memory context, with pseudo-random pixels.
struct Dib {
    HBITMAP bmp;
    BYTE* bits = nullptr;
    int size;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old;
    Dib(int w, int h, int bitCount, unsigned seed, DWORD used = 0, RGBQUAD (*table)(int) = Entry)
        : size((w * bitCount + 31) / 32 * 4 * (h < 0 ? -h : h)) {
        Info i = MakeInfo(w, h, bitCount, used);
        for (int k = 0; k < 256; ++k) i.c[k] = table(k);
        void* p = nullptr;
        bmp = CreateDIBSection(nullptr, i.bmi(), DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<BYTE*>(p);
        for (int k = 0; k < size; ++k)
            bits[k] = static_cast<BYTE>((seed = seed * 1103515245u + 12345u) >> 16);
        old = SelectObject(dc, bmp);
    }
    ~Dib() {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bmp);
    }
    void Put() const { PutBytes(bits, static_cast<std::size_t>(size)); }
};

// A brush selected into a context for the scope.
struct Brush {
    HDC dc;
    HBRUSH brush;
    HGDIOBJ old;
    Brush(HDC d, COLORREF c) : dc(d), brush(CreateSolidBrush(c)), old(SelectObject(d, brush)) {}
    ~Brush() {
        SelectObject(dc, old);
        DeleteObject(brush);
    }
};

// A 4-wide 32-bit DIB: pixel (x, memory row m) is 0x10 (m + 1) + x + 1 in each colour byte,
// with a fourth byte of its own; rows past the fourth serve bands reaching beyond.
struct Quad {
    DWORD px[40];
    Quad() {
        for (int k = 0; k < 40; ++k)
            px[k] = static_cast<DWORD>(0x10 * (k / 4 + 1) + k % 4 + 1) * 0x010101u | (0x80u + k)
                                                                                         << 24;
    }
};

const DWORD kRops[] = {SRCCOPY,    SRCPAINT,    SRCAND,     SRCINVERT, SRCERASE,
                       NOTSRCCOPY, NOTSRCERASE, MERGEPAINT, PATCOPY,   PATINVERT,
                       DSTINVERT,  BLACKNESS,   WHITENESS};

// Raster operations between sections of each depth pair (5 × 2 pixels, padded rows).
void Rops() {
    Group("rop");
    for (int db : {1, 4, 8, 16, 24, 32})
        for (int sb : {1, 4, 8, 16, 24, 32})
            for (DWORD rop : kRops) {
                if (sb != db && ((sb != 32 && db != 32) || (rop != SRCCOPY && rop != SRCPAINT)))
                    continue;
                Dib src(5, 2, sb, 7), dst(5, 2, db, 99);
                Brush b(dst.dc, RGB(0xF0, 0x08, 0x30));
                Put(BitBlt(dst.dc, 0, 0, 5, 2, src.dc, 0, 0, rop));
                dst.Put();
                Case("%d<-%d.%06x", db, sb, static_cast<unsigned>(rop));
            }
}

// Colours matched into sections with full and short colour tables.
void Matching() {
    Group("match");
    DWORD colors[24];  // near the table entries, then white and nearly black
    for (int k = 0; k < 24; ++k) {
        const RGBQUAD e = Entry(k % 6);
        auto c = [k](int v) { return static_cast<DWORD>(v + (k / 6) * 3 - 4) & 0xFF; };
        colors[k] = c(e.rgbBlue) | c(e.rgbGreen) << 8 | c(e.rgbRed) << 16;
    }
    colors[22] = 0xFFFFFF;
    colors[23] = 0x000808;
    Info i = MakeInfo(24, 1, 32);
    for (int bits : {1, 4, 8})
        for (DWORD used : {0u, 1u, 3u, 6u, 40u})
            for (int how = 0; used < (1u << bits) && how < 3; ++how) {
                Dib dst(24, 1, bits, 1, used), src(24, 1, 32, 0);
                std::memcpy(src.bits, colors, sizeof colors);
                Put(how == 0   ? SetDIBits(nullptr, dst.bmp, 0, 1, colors, i.bmi(), DIB_RGB_COLORS)
                    : how == 1 ? BitBlt(dst.dc, 0, 0, 24, 1, src.dc, 0, 0, SRCCOPY)
                               : StretchDIBits(dst.dc, 0, 0, 24, 1, 0, 0, 24, 1, colors, i.bmi(),
                                               DIB_RGB_COLORS, SRCCOPY));
                dst.Put();
                Case("%d.used%u.how%d", bits, static_cast<unsigned>(used), how);
            }
    // Grey ramps: how finely channels are compared; whether equal tables copy indices; whether
    // a brush's colour is reduced.
    for (int step : {1, 3}) {
        Dib dst(256, 1, 8, 1, 0, Grey);
        DWORD row[256];
        for (int k = 0; k < 256; ++k) row[k] = static_cast<DWORD>(k * 0x010101 ^ (k * step & 7));
        Info g = MakeInfo(256, 1, 32);
        Put(SetDIBits(nullptr, dst.bmp, 0, 1, row, g.bmi(), DIB_RGB_COLORS));
        dst.Put();
        Case("grey.step%d", step);
    }
    Dib ramp(256, 1, 8, 0, 0, Grey), shifted(256, 1, 8, 1, 0, [](int k) { return Grey(k + 1); });
    for (int k = 0; k < 256; ++k) ramp.bits[k] = static_cast<BYTE>(k);
    for (const Dib* to : {&ramp, &shifted}) {
        Put(BitBlt(to->dc, 0, 0, 256, 1, ramp.dc, 0, 0, SRCCOPY));
        to->Put();
        Case("grey.table%d", to == &shifted);
    }
    for (int c : {3, 9, 250}) {
        Dib dst(4, 1, 8, 1, 0, Grey);
        Brush b(dst.dc, RGB(c, c, c));
        Put(PatBlt(dst.dc, 0, 0, 4, 1, PATCOPY));
        dst.Put();
        Case("grey.brush%d", c);
    }
}

// The colour tables GetDIBits hands out, from bitmaps of each depth.
void Tables() {
    Group("table");
    HDC dc = CreateCompatibleDC(nullptr);
    for (int from : {1, 4, 8, 16, 24, 32})
        for (int to : {1, 4, 8})
            for (int used = 0; used <= (from <= 8 ? 6 : 0); used += 6) {
                Dib src(3, 2, from, 5, static_cast<DWORD>(used));
                Info i = MakeInfo(3, 2, to);
                std::memset(i.c, 0xEE, sizeof i.c);
                BYTE px[16];
                Put(GetDIBits(dc, src.bmp, 0, 2, px, i.bmi(), DIB_RGB_COLORS));
                PutBytes(i.c, sizeof(RGBQUAD) << to);
                PutBytes(px, static_cast<std::size_t>((3 * to + 31) / 32 * 8));
                Case("%d<-%d.used%d", to, from, used);
            }
    DeleteDC(dc);
}

// Draws on a 6 × 5 32-bit section and prints the call's result and the section.
template <class Draw>
void OnTarget(Draw draw) {
    Dib dst(6, 5, 32, 3);
    Put(draw(dst.dc));
    dst.Put();
}

// StretchDIBits of top-down and bottom-up sources.
void Stretch() {
    Group("stretch");
    const Quad q;
    const int cases[][8] = {
        {0, 0, 4, 4, 0, 0, 4, 4},  {0, 0, 2, 2, 0, 0, 4, 4},  {0, 0, 3, 3, 0, 0, 4, 4},
        {0, 0, 1, 1, 0, 0, 4, 4},  {0, 0, 6, 5, 0, 0, 4, 4},  {0, 0, 4, 2, 0, 0, 4, 4},
        {4, 0, -4, 4, 0, 0, 4, 4}, {0, 4, 4, -4, 0, 0, 4, 4}, {4, 4, -4, -4, 0, 0, 4, 4},
        {0, 0, 4, 4, 4, 0, -4, 4}, {0, 0, 4, 4, 0, 4, 4, -4}, {0, 0, 4, 4, 3, 3, -4, -4},
        {4, 0, -2, 2, 0, 0, 4, 4}, {0, 0, 2, 2, 1, 1, 2, 2},  {0, 0, 2, 3, 0, 1, 2, 3},
        {1, 1, 2, 2, 1, 0, 2, 2},  {0, 0, 4, 4, 0, 2, 4, 2},  {0, 0, 4, 4, -1, -1, 4, 4},
        {0, 0, 3, 3, 2, 2, 3, 3},  {5, 0, -3, 5, 1, 0, 3, 4}, {0, 0, 4, 4, 1, 0, 2, 3},
        {0, 0, 2, 1, 0, 0, 2, 1},  {0, 0, 2, 2, 0, 2, -2, 2}, {0, 1, 2, 3, 0, 2, 1, -2},
    };
    for (int td = 0; td < 2; ++td) {
        Info i = MakeInfo(4, td ? -4 : 4, 32);
        for (const auto& c : cases)
            for (DWORD rop : {SRCCOPY, SRCPAINT, PATCOPY, DSTINVERT, SRCAND}) {
                if (rop != SRCCOPY && (&c - cases) % (rop == SRCPAINT ? 2 : 7)) continue;
                OnTarget([&](HDC dc) {
                    return StretchDIBits(dc, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], q.px,
                                         i.bmi(), DIB_RGB_COLORS, rop);
                });
                Case("%s%d.%x", td ? "td" : "bu", static_cast<int>(&c - cases),
                     static_cast<unsigned>(rop));
            }
    }
    // Shrinking a 1-bit picture: merged pixels are ANDed.
    const BYTE mono[8] = {0x5F, 0, 0, 0, 0xAF, 0, 0, 0};
    Info m = MakeInfo(8, 2, 1);
    m.c[1] = {0xFF, 0xFF, 0xFF, 0};
    for (int w : {4, 3, 2}) {
        OnTarget([&](HDC dc) {
            return StretchDIBits(dc, 0, 0, w, 1, 0, 0, 8, 2, mono, m.bmi(), DIB_RGB_COLORS,
                                 SRCCOPY);
        });
        Case("mono.w%d", w);
    }
}

// BitBlt between two sections and within one, and PatBlt, with negative extents.
void Blits() {
    Group("blt");
    const int cases[][6] = {{3, 2, -2, 2, 1, 1}, {1, 3, 2, -2, 0, 2}, {4, 4, -3, -3, 3, 2},
                            {0, 0, -2, 2, 2, 0}, {2, 2, 3, 3, 0, 0},  {2, 1, -3, -1, 3, 3},
                            {-1, -1, 3, 3, 0, 0}};
    Dib src(6, 5, 32, 8);
    for (const auto& c : cases) {
        const int k = static_cast<int>(&c - cases);
        OnTarget([&](HDC dc) {
            return BitBlt(dc, c[0], c[1], c[2], c[3], src.dc, c[4], c[5], SRCCOPY);
        });
        Case("two%d", k);
        OnTarget(
            [&](HDC dc) { return BitBlt(dc, c[0], c[1], c[2], c[3], dc, c[4], c[5], SRCCOPY); });
        Case("self%d", k);
        OnTarget([&](HDC dc) { return PatBlt(dc, c[0], c[1], c[2], c[3], DSTINVERT); });
        Case("pat%d", k);
    }
}

// SetDIBitsToDevice with bands of scan lines of top-down and bottom-up DIBs.
void ToDevice() {
    Group("todevice");
    const Quad q;
    const int cases[][8] = {
        // x, y, w, h, xSrc, ySrc, first scan, scans
        {0, 0, 4, 4, 0, 0, 0, 4}, {0, 0, 4, 4, 0, 0, 0, 2}, {0, 0, 4, 4, 0, 0, 2, 2},
        {1, 1, 2, 2, 1, 1, 0, 4}, {0, 0, 4, 4, 0, 1, 1, 2}, {0, 0, 4, 4, 0, 0, 3, 5},
        {0, 0, 4, 4, 0, 0, 5, 2}, {0, 0, 4, 3, 0, 2, 0, 4}, {2, 0, 4, 4, 0, 0, 1, 3},
        {0, 0, 3, 4, 1, 0, 0, 1}, {0, 0, 4, 4, 0, 0, 1, 6}, {-9, 0, 4, 4, 0, 0, 0, 4},
        {0, 0, 4, 4, 5, 0, 0, 4}, {0, 0, 4, 4, 0, 5, 0, 4}, {1, 0, 4, 4, -1, -1, 0, 4},
        {0, 1, 4, 3, 0, 3, 2, 0}, {0, 0, 4, 1, 0, 0, 0, 4}, {0, 0, 4, 2, 0, 3, 1, 3},
    };
    for (int td = 0; td < 2; ++td) {
        Info i = MakeInfo(4, td ? -4 : 4, 32);
        for (const auto& c : cases) {
            OnTarget([&](HDC dc) {
                return SetDIBitsToDevice(dc, c[0], c[1], static_cast<DWORD>(c[2]),
                                         static_cast<DWORD>(c[3]), c[4], c[5],
                                         static_cast<UINT>(c[6]), static_cast<UINT>(c[7]),
                                         q.px + 4 * c[6], i.bmi(), DIB_RGB_COLORS);
            });
            Case("%s%d", td ? "td" : "bu", static_cast<int>(&c - cases));
        }
    }
}

// GetDIBits: header queries, masks, padding, bands, other widths and heights, failures.
void GetBits() {
    Group("getdib");
    HDC dc = CreateCompatibleDC(nullptr);
    for (int from : {1, 4, 8, 16, 24, 32})
        for (int ddb = 0; ddb < 2; ++ddb) {
            Dib sec(5, 3, from, 4);
            HBITMAP b = ddb ? CreateBitmap(5, 3, 1, static_cast<UINT>(from), nullptr) : sec.bmp;
            SelectObject(sec.dc, sec.old);  // GetDIBits wants a bitmap no context holds
            for (int to : {0, 1, 4, 8, 16, 24, 32})
                for (DWORD comp : {BI_RGB, BI_BITFIELDS}) {
                    if (comp == BI_BITFIELDS && to % 16 != 0) continue;
                    // A header query (no pixels), then the pixels.
                    for (int width : {0, 5}) {
                        Info i = MakeInfo(width, width * 3 / 5, to, 77, comp);
                        i.h.biXPelsPerMeter = 1000;
                        std::memset(i.c, 0xEE, sizeof i.c);
                        BYTE px[64];
                        std::memset(px, 0xEE, sizeof px);
                        Put(GetDIBits(dc, b, 0, 3, width ? px : nullptr, i.bmi(), DIB_RGB_COLORS));
                        PutBytes(&i, sizeof(BITMAPINFOHEADER) + 12);
                        if (width) PutBytes(px, sizeof px);
                    }
                    Case("%d<-%d%s%s", to, from, ddb ? "ddb" : "dib", comp ? ".bf" : "");
                }
            if (ddb) DeleteObject(b);
            sec.old = SelectObject(sec.dc, sec.bmp);
        }
    Dib src(5, 3, 24, 6);
    SelectObject(src.dc, src.old);
    const int calls[][5] = {// first scan, scans, width, height, with pixels
                            {0, 3, 5, 3, 1},  {1, 1, 5, 3, 1},  {2, 5, 5, 3, 1},  {3, 1, 5, 3, 1},
                            {9, 1, 5, 3, 1},  {0, 3, 5, -3, 1}, {1, 2, 5, -3, 1}, {0, 3, 3, 3, 1},
                            {0, 3, 8, 3, 1},  {0, 3, 5, 2, 1},  {0, 3, 5, 9, 1},  {0, 3, 5, -2, 1},
                            {0, 3, 5, 3, 0},  {9, 1, 5, 3, 0},  {0, 0, 5, 3, 1},  {0, 3, 0, 3, 1},
                            {0, 3, -5, 3, 1}, {0, 3, 5, 0, 1},  {0, 5, 5, -6, 1}, {1, 5, 5, -6, 1},
                            {0, 2, 5, -6, 1}, {2, 3, 5, 6, 1},  {0, 1, 0, 0, 1}};
    for (const auto& c : calls)
        for (int to : {24, 8, 1}) {
            Info i = MakeInfo(c[2], c[3], to);
            BYTE px[200];
            std::memset(px, 0xEE, sizeof px);
            Put(GetDIBits(dc, src.bmp, static_cast<UINT>(c[0]), static_cast<UINT>(c[1]),
                          c[4] ? px : nullptr, i.bmi(), DIB_RGB_COLORS));
            PutBytes(&i, sizeof(BITMAPINFOHEADER));
            PutBytes(px, sizeof px);
            Case("call%d.%d", static_cast<int>(&c - calls), to);
        }
    Info i = MakeInfo(5, 3, 24);
    BYTE px[64];
    Put(GetDIBits(nullptr, src.bmp, 0, 3, px, i.bmi(), DIB_RGB_COLORS));
    Case("nulldc");
    src.old = SelectObject(src.dc, src.bmp);
    DeleteDC(dc);
}

// Palette indices, CreateDIBitmap without a context, deleting selected objects.
void Misc() {
    Group("misc");
    struct {
        WORD version, count;
        PALETTEENTRY e[4];
    } lp = {0x300, 4, {{10, 20, 30, 0}, {40, 50, 60, 0}, {70, 80, 90, 0}, {1, 2, 3, 0}}};
    HPALETTE pal = CreatePalette(reinterpret_cast<LOGPALETTE*>(&lp));
    struct {
        BITMAPINFOHEADER h;
        WORD idx[16];
    } pi = {MakeInfo(8, 1, 4).h, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 17, 255, 256, 1000, 3, 2}};
    const BYTE row[4] = {0x01, 0x23, 0x45, 0x67};
    OnTarget([&](HDC dc) {
        HPALETTE old = SelectPalette(dc, pal, FALSE);
        const int r = StretchDIBits(dc, 0, 0, 8, 1, 0, 0, 8, 1, row,
                                    reinterpret_cast<BITMAPINFO*>(&pi), DIB_PAL_COLORS, SRCCOPY);
        SelectPalette(dc, old, FALSE);
        return r;
    });
    Case("palcolors");
    DeleteObject(pal);
    HDC dc = CreateCompatibleDC(nullptr);
    for (int bits : {1, 8, 24}) {
        Info i = MakeInfo(4, 2, bits);
        i.c[1] = {0xFF, 0xFF, 0xFF, 0};
        const BYTE px[32] = {0x40, 0x80, 0, 0, 0x80, 0x40, 0, 0};
        HBITMAP b = CreateDIBitmap(nullptr, &i.h, CBM_INIT, px, i.bmi(), DIB_RGB_COLORS);
        BITMAP bm{};
        Put(GetObjectA(b, sizeof bm, &bm));
        Put(bm.bmWidthBytes);
        Put(bm.bmBitsPixel);
        Info o = MakeInfo(4, 2, 24);
        BYTE out[24] = {};
        Put(GetDIBits(dc, b, 0, 2, out, o.bmi(), DIB_RGB_COLORS));
        PutBytes(out, sizeof out);
        Case("createdibitmap%d", bits);
        DeleteObject(b);
    }
    HBITMAP b = CreateBitmap(2, 2, 1, 32, nullptr);
    HBRUSH br = CreateSolidBrush(RGB(1, 2, 3));
    HGDIOBJ oldBmp = SelectObject(dc, b), oldBr = SelectObject(dc, br);
    BITMAP bm{};
    Put(DeleteObject(b) * 2 + DeleteObject(br));
    Put(GetObjectA(b, sizeof bm, &bm));
    Put((SelectObject(dc, oldBmp) == b) * 2 + (SelectObject(dc, oldBr) == br));
    Put(GetObjectA(b, sizeof bm, &bm));
    Put(DeleteObject(b) * 2 + DeleteObject(br));
    Case("deleteselected");
    DeleteDC(dc);
}

}  // namespace

int main(int argc, char** argv) {
    g_only = argc > 1 ? argv[1] : nullptr;
    Rops();
    Matching();
    Tables();
    Stretch();
    Blits();
    ToDevice();
    GetBits();
    Misc();
    return 0;
}
