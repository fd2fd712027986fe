// The baseline the Windows patcher is measured against: a bare Win32 window of
// the same client size that starts GDI+ and draws one string, and says on
// stdout when its first frame is on screen, as the patcher's benchmark build
// does.
#include <stdio.h>
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    static int painted;
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        GpGraphics *graphics = nullptr;
        GdipCreateFromHDC(dc, &graphics);
        GpSolidFill *brush = nullptr;
        GdipCreateSolidFill(0xFF1E1E1E, &brush);
        GdipFillRectangleI(graphics, brush, 0, 0, 500, 223);
        GpFontFamily *family = nullptr;
        GpFont *font = nullptr;
        // The first family this system has: Wine's own prefix, for one, has
        // no Arial, and a string drawn without a font is not drawn at all.
        static const WCHAR *const names[] = {L"Arial", L"Tahoma", L"DejaVu Sans"};
        for (const WCHAR *name : names)
            if (!family) GdipCreateFontFamilyFromName(name, nullptr, &family);
        GdipCreateFont(family, 13, FontStyleRegular, UnitPixel, &font);
        GdipSetSolidFillColor(brush, 0xFFC0C0C0);
        RectF layout(10, 10, 0, 0);
        const GpStatus drawn = GdipDrawString(graphics, L"Quelmor: Kelm patcher", -1, font, &layout, nullptr, brush);
        GdipDeleteFont(font);
        GdipDeleteFontFamily(family);
        GdipDeleteBrush(brush);
        GdipDeleteGraphics(graphics);
        EndPaint(window, &paint);
        // A frame without its string is not the baseline: say nothing, and the
        // benchmark stops.
        if (drawn != Ok) {
            fprintf(stderr, "bare window: the string was not drawn (GDI+ status %d)\n", (int)drawn);
            PostQuitMessage(1);
        } else if (!painted++) {
            printf("painted\n");
            fflush(stdout);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

int main(void) {
    ULONG_PTR token;
    GdiplusStartupInput startup(nullptr, FALSE, TRUE);
    GdiplusStartup(&token, &startup, nullptr);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = window_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    wc.lpszClassName = L"KelmBare";
    RegisterClassW(&wc);
    const DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame = {0, 0, 500, 223};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_APPWINDOW);
    CreateWindowExW(WS_EX_APPWINDOW, L"KelmBare", L"bare", style | WS_VISIBLE, 100, 100, frame.right - frame.left,
                    frame.bottom - frame.top, nullptr, nullptr, wc.hInstance, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    GdiplusShutdown(token);
    return 0;
}
