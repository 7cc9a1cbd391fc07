// The in-memory GDI's pixel paths: a screen-sized copy between contexts, a stretched DIB
// draw, and the 32-bit read-out that texture duplication uses. Rates are in pixels.
#include <benchmark/benchmark.h>

#include <vector>

#include "zumeld/platform/win32.h"

namespace {

constexpr int kW = 1024, kH = 768;

BITMAPINFO Header(int w, int h, int bits) {
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = w;
    bmi.bmiHeader.biHeight = h;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = static_cast<WORD>(bits);
    return bmi;
}

void BM_BitBltCopy(benchmark::State& state) {
    const int srcBits = static_cast<int>(state.range(0));
    BITMAPINFO src = Header(kW, kH, srcBits), dst = Header(kW, kH, 32);
    void* p = nullptr;
    HBITMAP a = CreateDIBSection(nullptr, &src, DIB_RGB_COLORS, &p, nullptr, 0);
    HBITMAP b = CreateDIBSection(nullptr, &dst, DIB_RGB_COLORS, &p, nullptr, 0);
    HDC da = CreateCompatibleDC(nullptr), db = CreateCompatibleDC(nullptr);
    HGDIOBJ oa = SelectObject(da, a), ob = SelectObject(db, b);
    for (auto _ : state) BitBlt(db, 0, 0, kW, kH, da, 0, 0, SRCCOPY);
    state.SetItemsProcessed(state.iterations() * kW * kH);
    SelectObject(da, oa);
    SelectObject(db, ob);
    DeleteDC(da);
    DeleteDC(db);
    DeleteObject(a);
    DeleteObject(b);
}
BENCHMARK(BM_BitBltCopy)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

void BM_StretchDIBitsDouble(benchmark::State& state) {
    BITMAPINFO src = Header(kW / 2, kH / 2, 24), dst = Header(kW, kH, 32);
    std::vector<BYTE> pixels(static_cast<std::size_t>(kW / 2 * 3) * (kH / 2), 0x40);
    void* p = nullptr;
    HBITMAP b = CreateDIBSection(nullptr, &dst, DIB_RGB_COLORS, &p, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, b);
    for (auto _ : state)
        StretchDIBits(dc, 0, 0, kW, kH, 0, 0, kW / 2, kH / 2, pixels.data(), &src, DIB_RGB_COLORS,
                      SRCCOPY);
    state.SetItemsProcessed(state.iterations() * kW * kH);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(b);
}
BENCHMARK(BM_StretchDIBitsDouble)->Unit(benchmark::kMillisecond);

void BM_GetDIBitsTo32(benchmark::State& state) {
    const int srcBits = static_cast<int>(state.range(0));
    BITMAPINFO src = Header(kW, kH, srcBits);
    void* p = nullptr;
    HBITMAP a = CreateDIBSection(nullptr, &src, DIB_RGB_COLORS, &p, nullptr, 0);
    std::vector<BYTE> out(static_cast<std::size_t>(kW) * 4 * kH);
    HDC dc = CreateCompatibleDC(nullptr);  // GetDIBits needs a context
    for (auto _ : state) {
        BITMAPINFO info = Header(kW, kH, 32);
        GetDIBits(dc, a, 0, kH, out.data(), &info, DIB_RGB_COLORS);
    }
    state.SetItemsProcessed(state.iterations() * kW * kH);
    DeleteDC(dc);
    DeleteObject(a);
}
BENCHMARK(BM_GetDIBitsTo32)->Arg(8)->Arg(16)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

}  // namespace
