#include "ui/win/win_style.h"

#include <map>
#include <tuple>

#include "platform/wide_text_win.h"
#include "ui/win/win_handles.h"

using namespace platform;

namespace ui::win {

COLORREF ResolveColor(TColor Color) {
    if (Color & clSystem) return GetSysColor(int(Color & 0xFF));
    return RGB((Color >> 16) & 0xFF, (Color >> 8) & 0xFF, Color & 0xFF);
}

HBRUSH BrushOf(TColor Color) {
    if (Color & clSystem) return GetSysColorBrush(int(Color & 0xFF));  // owned by the system
    static std::map<TColor, TOwnedBrush> brushes;
    auto& b = brushes[Color];
    if (!b) b.reset(CreateSolidBrush(ResolveColor(Color)));
    return b.get();
}

HFONT FontOf(const TFont& Font, int Dpi) {
    using Key = std::tuple<std::string, int, bool, bool, int>;
    static std::map<Key, TOwnedFont> fonts;
    auto& f = fonts[Key{Font.Name, Font.Height, Font.Bold, Font.Underline, Dpi}];
    if (f) return f.get();
    LOGFONTW lf{};
    lf.lfHeight = -Scale(Font.Height > 0 ? Font.Height : 11, Dpi);  // negative: character height
    lf.lfWeight = Font.Bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = Font.Underline;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    // A face the system lacks is replaced by its font mapper; these hints make it pick a
    // proportional sans-serif face as the dialog fonts are.
    lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    const std::wstring name = Widen(Font.Name);
    lstrcpynW(lf.lfFaceName, name.c_str(), LF_FACESIZE);
    f.reset(CreateFontIndirectW(&lf));
    return f.get();
}

int Scale(int Pixels, int Dpi) { return MulDiv(Pixels, Dpi, 96); }
int Unscale(int Pixels, int Dpi) { return MulDiv(Pixels, 96, Dpi); }

namespace {
template <class F>
F User32(const char* Name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), Name)));
}
}  // namespace

// The per-monitor functions came with Windows 10; older systems scale the whole desktop.
int DpiOfWindow(HWND Window) {
    static auto forWindow = User32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    if (forWindow && Window) {
        const UINT dpi = forWindow(Window);
        if (dpi) return int(dpi);
    }
    HDC dc = GetDC(nullptr);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : 96;
}

RECT OuterRect(RECT Client, DWORD Style, DWORD ExStyle, int Dpi) {
    static auto forDpi = User32<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
    if (!forDpi || !forDpi(&Client, Style, FALSE, ExStyle, UINT(Dpi)))
        AdjustWindowRectEx(&Client, Style, FALSE, ExStyle);
    return Client;
}

void BecomeDpiAware() {
    static auto perMonitor = User32<BOOL(WINAPI*)(HANDLE)>("SetProcessDpiAwarenessContext");
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2; fails harmlessly when already set.
    if (perMonitor && perMonitor(reinterpret_cast<HANDLE>(-4))) return;
    static auto systemAware = User32<BOOL(WINAPI*)()>("SetProcessDPIAware");
    if (systemAware) systemAware();
}

}  // namespace ui::win
