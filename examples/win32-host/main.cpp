// A small Win32 host: shows an .elv map in a window and pans over it with the arrow keys.
// Every frame resamples the visible area to the window's size (StretchElevationData), draws
// it (DrawAllMapOnBitmapBuffer) and copies the map's picture into the window through a memory
// device context with BitBlt.
//
//   zumeld-win32-host MAP.elv [--zoom N] [--keys LRUD...]
//
// --zoom shows the map N times enlarged (default 2); --keys presses arrow keys once the
// window is up (L, R, U, D), for scripted runs.
#include <zumeld/zumeld.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kClientWidth = 640;
constexpr int kClientHeight = 480;
constexpr UINT kPressKeys = WM_APP + 1;

struct View {
    Zumeld::CCtrlElvMap map;
    int zoom = 2;
    int left = 0;  // the visible area's top-left map cell
    int top = 0;
    std::string keys;

    // Cells visible at the window's size, at most the whole map.
    int AreaWidth(int clientWidth) const {
        return std::clamp(clientWidth / zoom, 1, map.m_nWidth);
    }
    int AreaHeight(int clientHeight) const {
        return std::clamp(clientHeight / zoom, 1, map.m_nHeight);
    }

    // Moves by a tenth of the visible area, within the map.
    void Pan(int dx, int dy, const RECT& client) {
        const int w = AreaWidth(client.right), h = AreaHeight(client.bottom);
        left = std::clamp(left + dx * std::max(1, w / 10), 0, map.m_nWidth - w);
        top = std::clamp(top + dy * std::max(1, h / 10), 0, map.m_nHeight - h);
    }

    // One frame: the visible area at the client's size, drawn and blitted.
    void Paint(HDC hdc, const RECT& client) {
        if (client.right < 1 || client.bottom < 1) return;
        map.StretchElevationData(left, top, AreaWidth(client.right), AreaHeight(client.bottom),
                                 client.right, client.bottom);
        map.FillSeaColorOnBitmapBuffer();
        map.DrawAllMapOnBitmapBuffer(true, true, 0, false);
        HDC memory = CreateCompatibleDC(hdc);
        HGDIOBJ old = SelectObject(memory, map.GetHbmp());
        BitBlt(hdc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
    }
};

View* g_view = nullptr;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    RECT client;
    GetClientRect(hwnd, &client);
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC hdc = BeginPaint(hwnd, &ps);
            g_view->Paint(hdc, client);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;  // every frame covers the whole client area
        case WM_KEYDOWN: {
            const int dx = wParam == VK_LEFT ? -1 : wParam == VK_RIGHT ? 1 : 0;
            const int dy = wParam == VK_UP ? -1 : wParam == VK_DOWN ? 1 : 0;
            if (dx == 0 && dy == 0) break;
            g_view->Pan(dx, dy, client);
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        }
        case kPressKeys:
            for (char c : g_view->keys) {
                const char* codes = "LRUD";
                const WPARAM keys[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN};
                if (const char* at = std::strchr(codes, c); at != nullptr && c != '\0')
                    SendMessageA(hwnd, WM_KEYDOWN, keys[at - codes], 0);
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

int Fail(const std::string& text) {
    MessageBoxA(nullptr, text.c_str(), "zumeld-win32-host", MB_OK | MB_ICONERROR);
    return 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    View view;
    g_view = &view;
    CString path;
    for (int i = 1; i < __argc; ++i) {
        const std::string arg = __argv[i];
        if (arg == "--zoom" && i + 1 < __argc) {
            view.zoom = std::clamp(std::atoi(__argv[++i]), 1, 64);
        } else if (arg == "--keys" && i + 1 < __argc) {
            view.keys = __argv[++i];
        } else {
            path = arg.c_str();
        }
    }
    if (path.IsEmpty()) return Fail("usage: zumeld-win32-host MAP.elv [--zoom N] [--keys LRUD]");
    if (!view.map.LoadElevationFile(path) || view.map.m_nWidth < 1 || view.map.m_nHeight < 1)
        return Fail(std::string("cannot load ") + path.GetString());

    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.lpszClassName = "ZumeldWin32Host";
    if (!RegisterClassA(&wc)) return Fail("cannot register the window class");
    // The window's outer size for a client area of kClientWidth x kClientHeight.
    const DWORD style = WS_OVERLAPPEDWINDOW;
    RECT frame{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRect(&frame, style, FALSE);
    HWND hwnd = CreateWindowA(wc.lpszClassName, "Zumeld", style, 0, 0, frame.right - frame.left,
                              frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    if (hwnd == nullptr) return Fail("cannot create the window");
    ShowWindow(hwnd, show);
    UpdateWindow(hwnd);
    if (!view.keys.empty()) PostMessageA(hwnd, kPressKeys, 0, 0);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
