// The Windows types, records, constants and calls the library makes. A Windows build takes
// them from the system's own headers and libraries. Elsewhere this header declares stand-ins
// with the same names and signatures, so library code above it reads as it would on Windows.
// Stand-in handles are opaque values in tables kept by the platform layer; a null, released or
// unknown handle gives null or failure, never a crash.
// The stand-ins' handle tables (global and local memory, GDI objects) are thread-safe: each has
// one mutex, held only for the table's own work (pages are mapped and freed outside it), so two
// maps on two threads can make and free blocks and pictures at once. One object (a device
// context, a locked block) is still used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zumeld/export.h"

#if defined(_WIN32)
// The real thing. NOMINMAX keeps std::min and std::max usable in every file that includes it.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else

// ---- Basic types ------------------------------------------------------------------------
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef unsigned int UINT;
typedef int BOOL;
typedef int INT;
typedef char CHAR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD COLORREF;
typedef std::intptr_t LONG_PTR;
typedef std::uintptr_t UINT_PTR;
typedef std::uintptr_t WPARAM;
typedef std::intptr_t LPARAM;
typedef int HFILE;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef NULL
#define NULL nullptr
#endif

#define ZUMELD_DECLARE_HANDLE(name) \
    struct name##__ {               \
        int unused;                 \
    };                              \
    typedef struct name##__* name
ZUMELD_DECLARE_HANDLE(HBITMAP);
ZUMELD_DECLARE_HANDLE(HPALETTE);
ZUMELD_DECLARE_HANDLE(HDC);
ZUMELD_DECLARE_HANDLE(HBRUSH);
ZUMELD_DECLARE_HANDLE(HINSTANCE);
ZUMELD_DECLARE_HANDLE(HWND);
ZUMELD_DECLARE_HANDLE(HRSRC);
#undef ZUMELD_DECLARE_HANDLE
typedef void* HANDLE;
typedef HANDLE HGLOBAL;
typedef HANDLE HLOCAL;
typedef void* HGDIOBJ;
typedef HINSTANCE HMODULE;

// ---- Colours -----------------------------------------------------------------------------
constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
           (static_cast<COLORREF>(b) << 16);
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>(c >> 8); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>(c >> 16); }

// ---- Records -----------------------------------------------------------------------------
typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *LPPOINT;

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD, *LPRGBQUAD;

typedef struct tagRGBTRIPLE {
    BYTE rgbtBlue;
    BYTE rgbtGreen;
    BYTE rgbtRed;
} RGBTRIPLE, *LPRGBTRIPLE;

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct tagBITMAPCOREHEADER {
    DWORD bcSize;
    WORD bcWidth;
    WORD bcHeight;
    WORD bcPlanes;
    WORD bcBitCount;
} BITMAPCOREHEADER, *LPBITMAPCOREHEADER;

#pragma pack(push, 2)
typedef struct tagBITMAPFILEHEADER {
    WORD bfType;
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
} BITMAPFILEHEADER, *LPBITMAPFILEHEADER;
#pragma pack(pop)

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO, *LPBITMAPINFO;

typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP, *LPBITMAP;

typedef struct tagPALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
} PALETTEENTRY, *LPPALETTEENTRY;

typedef struct tagLOGPALETTE {
    WORD palVersion;
    WORD palNumEntries;
    PALETTEENTRY palPalEntry[1];
} LOGPALETTE, *LPLOGPALETTE;

typedef struct tagOFSTRUCT {
    BYTE cBytes;
    BYTE fFixedDisk;
    WORD nErrCode;
    WORD Reserved1;
    WORD Reserved2;
    CHAR szPathName[128];
} OFSTRUCT, *LPOFSTRUCT;

static_assert(sizeof(BITMAPFILEHEADER) == 14);
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(BITMAPCOREHEADER) == 12);
static_assert(sizeof(RGBQUAD) == 4);
static_assert(sizeof(RGBTRIPLE) == 3);
static_assert(sizeof(PALETTEENTRY) == 4);
static_assert(sizeof(POINT) == 8);

// ---- Constants ---------------------------------------------------------------------------
constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_RLE8 = 1;
constexpr DWORD BI_RLE4 = 2;
constexpr DWORD BI_BITFIELDS = 3;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr UINT DIB_PAL_COLORS = 1;
constexpr DWORD CBM_INIT = 4;

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GMEM_MODIFY = 0x0080;
constexpr UINT GMEM_DISCARDABLE = 0x0100;
constexpr UINT GMEM_SHARE = 0x2000;
constexpr UINT GMEM_DDESHARE = 0x2000;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;
constexpr UINT LMEM_FIXED = 0x0000;
constexpr UINT LMEM_MOVEABLE = 0x0002;
constexpr UINT LMEM_ZEROINIT = 0x0040;
constexpr UINT LHND = LMEM_MOVEABLE | LMEM_ZEROINIT;
constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;

constexpr UINT OF_READ = 0x0000;
constexpr UINT OF_WRITE = 0x0001;
constexpr UINT OF_READWRITE = 0x0002;
constexpr UINT OF_SHARE_DENY_WRITE = 0x0020;
constexpr UINT OF_CREATE = 0x1000;
constexpr UINT OF_EXIST = 0x4000;
constexpr HFILE HFILE_ERROR = -1;
constexpr int FILE_BEGIN = 0;
constexpr int FILE_CURRENT = 1;
constexpr int FILE_END = 2;
#ifndef SEEK_SET
#define SEEK_SET 0
#define SEEK_CUR 1
#define SEEK_END 2
#endif

// Raster operations.
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD SRCERASE = 0x00440328;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD NOTSRCERASE = 0x001100A6;
constexpr DWORD MERGEPAINT = 0x00BB0226;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr DWORD PATINVERT = 0x005A0049;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;

// Stock objects.
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int DEFAULT_PALETTE = 15;

constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int NUMCOLORS = 24;
constexpr int RASTERCAPS = 38;
constexpr int SIZEPALETTE = 104;
constexpr int RC_PALETTE = 0x0100;

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr int IDOK = 1;

constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;
constexpr DWORD DLL_THREAD_ATTACH = 2;
constexpr DWORD DLL_THREAD_DETACH = 3;

// Resource names and types: integer ids travel in the low word of a pointer.
#define MAKEINTRESOURCE(i) (reinterpret_cast<LPCSTR>(static_cast<UINT_PTR>(static_cast<WORD>(i))))
#define MAKEINTRESOURCEA MAKEINTRESOURCE
#define IS_INTRESOURCE(p) ((reinterpret_cast<UINT_PTR>(p) >> 16) == 0)
#define RT_BITMAP MAKEINTRESOURCE(2)

// ---- KERNEL: global and local memory -------------------------------------------------------
ZUMELD_API HGLOBAL GlobalAlloc(UINT uFlags, std::size_t dwBytes);
ZUMELD_API HGLOBAL GlobalReAlloc(HGLOBAL hMem, std::size_t dwBytes, UINT uFlags);
ZUMELD_API LPVOID GlobalLock(HGLOBAL hMem);
ZUMELD_API BOOL GlobalUnlock(HGLOBAL hMem);
ZUMELD_API HGLOBAL GlobalFree(HGLOBAL hMem);
ZUMELD_API std::size_t GlobalSize(HGLOBAL hMem);
ZUMELD_API HLOCAL LocalAlloc(UINT uFlags, std::size_t uBytes);
ZUMELD_API HLOCAL LocalFree(HLOCAL hMem);

// ---- KERNEL: the old file calls, over POSIX descriptors ----------------------------------
ZUMELD_API HFILE OpenFile(LPCSTR lpFileName, OFSTRUCT* lpReOpenBuff, UINT uStyle);
ZUMELD_API UINT _lread(HFILE hFile, LPVOID lpBuffer, UINT uBytes);
ZUMELD_API UINT _lwrite(HFILE hFile, LPCSTR lpBuffer, UINT uBytes);
ZUMELD_API LONG _llseek(HFILE hFile, LONG lOffset, int iOrigin);
ZUMELD_API HFILE _lclose(HFILE hFile);

// ---- USER ------------------------------------------------------------------------------------
ZUMELD_API HBITMAP LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName);
ZUMELD_API HDC GetDC(HWND hWnd);
ZUMELD_API int ReleaseDC(HWND hWnd, HDC hDC);

// ---- GDI -------------------------------------------------------------------------------------
ZUMELD_API HBITMAP CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount,
                                const void* lpBits);
ZUMELD_API HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy);
ZUMELD_API HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, void** ppvBits,
                                    HANDLE hSection, DWORD offset);
ZUMELD_API HBITMAP CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* pbmih, DWORD flInit,
                                  const void* pjBits, const BITMAPINFO* pbmi, UINT iUsage);
ZUMELD_API int GetObjectA(HANDLE h, int c, LPVOID pv);
ZUMELD_API BOOL DeleteObject(HGDIOBJ ho);
ZUMELD_API HGDIOBJ GetStockObject(int i);
ZUMELD_API HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);
ZUMELD_API int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits,
                         BITMAPINFO* lpbmi, UINT usage);
ZUMELD_API int SetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, const void* lpBits,
                         const BITMAPINFO* lpbmi, UINT ColorUse);
ZUMELD_API HDC CreateCompatibleDC(HDC hdc);
ZUMELD_API BOOL DeleteDC(HDC hdc);
ZUMELD_API int GetDeviceCaps(HDC hdc, int index);
ZUMELD_API HPALETTE CreatePalette(const LOGPALETTE* plpal);
ZUMELD_API HPALETTE SelectPalette(HDC hdc, HPALETTE hPal, BOOL bForceBkgd);
ZUMELD_API UINT RealizePalette(HDC hdc);
ZUMELD_API UINT GetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries,
                                  LPPALETTEENTRY pPalEntries);
ZUMELD_API HBRUSH CreateSolidBrush(COLORREF color);
ZUMELD_API BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1,
                       DWORD rop);
ZUMELD_API BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop);
ZUMELD_API int SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc,
                                 int ySrc, UINT StartScan, UINT cLines, const void* lpvBits,
                                 const BITMAPINFO* lpbmi, UINT ColorUse);
ZUMELD_API int StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight,
                             int xSrc, int ySrc, int SrcWidth, int SrcHeight, const void* lpBits,
                             const BITMAPINFO* lpbmi, UINT iUsage, DWORD rop);
ZUMELD_API COLORREF GetPixel(HDC hdc, int x, int y);

#endif  // !_WIN32
