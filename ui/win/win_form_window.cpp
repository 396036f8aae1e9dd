#include "ui/win/win_form_window.h"

#include <windowsx.h>

#include <algorithm>
#include <vector>

#include "platform/scoped_value.h"
#include "platform/wide_text_win.h"
#include "ui/control_align.h"
#include "ui/form_keys.h"
#include "ui/runtime.h"
#include "ui/user_close.h"
#include "ui/win/win_style.h"

using namespace platform;

namespace ui::win {

const wchar_t* const kPanelClass = L"ZelPanel";
const wchar_t* const kFormClass = L"ZelForm";

namespace {
constexpr DWORD kRepaintGapMs = 15;  // a download repaints per block; the eye needs no more
// Extra bytes of a container window: its colour, and whether it has a lowered frame.
constexpr int kColorSlot = 0, kFrameSlot = sizeof(LONG_PTR);

// The background, and a panel's one-pixel lowered inner bevel.
void PaintContainer(HWND w) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    RECT r;
    GetClientRect(w, &r);
    FillRect(dc, &r, BrushOf(TColor(GetWindowLongPtrW(w, kColorSlot))));
    if (GetWindowLongPtrW(w, kFrameSlot)) DrawEdge(dc, &r, BDR_SUNKENINNER, BF_RECT);
    EndPaint(w, &ps);
}

// Forms and panels share one procedure: a panel hands its children's notifications to the
// form its window belongs to, as the form does for its own children. Nothing may escape a
// window procedure, so the bindings dispatch every handler through the runtime.
LRESULT CALLBACK ContainerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    TWinFormBinding* b = TWinFormBinding::Of(w);
    const bool isForm = b && b->Window() == w;
    switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: PaintContainer(w); return 0;
    case WM_COMMAND:
        if (b && lp) {
            if (TWinControlView* v = b->ViewOfWindow(reinterpret_cast<HWND>(lp))) v->Command(HIWORD(wp));
        }
        return 0;  // IDOK and IDCANCEL from the dialog manager: Enter and Esc are the form's
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        TWinControlView* v = b ? b->ViewOfWindow(dis->hwndItem) : nullptr;
        return v && v->Draw(*dis);
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT: {
        TWinControlView* v = b ? b->ViewOfWindow(reinterpret_cast<HWND>(lp)) : nullptr;
        if (HBRUSH brush = v ? v->Colors(reinterpret_cast<HDC>(wp)) : nullptr) return reinterpret_cast<LRESULT>(brush);
        if (msg == WM_CTLCOLOREDIT) break;
        // Buttons and static controls show the container's colour around them.
        SetBkColor(reinterpret_cast<HDC>(wp), ResolveColor(TColor(GetWindowLongPtrW(w, kColorSlot))));
        return reinterpret_cast<LRESULT>(BrushOf(TColor(GetWindowLongPtrW(w, kColorSlot))));
    }
    case WM_SIZE:
        if (isForm && wp != SIZE_MINIMIZED) b->UserResized(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
        return 0;
    case WM_CLOSE:
        if (isForm && !b->CloseRequested()) return 0;
        if (!isForm) return 0;
        break;
    case WM_DPICHANGED:
        if (isForm) b->DpiChanged(HIWORD(wp), *reinterpret_cast<const RECT*>(lp));
        return 0;
    }
    return DefWindowProcW(w, msg, wp, lp);
}

DWORD StyleOf(const TForm& f, bool child) {
    DWORD style = WS_CAPTION | WS_CLIPCHILDREN | (child ? WS_POPUP : WS_OVERLAPPED);
    if (f.CloseBoxOnly)
        style |= WS_SYSMENU;
    else if (f.BorderIcons)
        style |= WS_SYSMENU | WS_MINIMIZEBOX | (f.Sizeable ? WS_MAXIMIZEBOX : 0);
    if (f.Sizeable) style |= WS_THICKFRAME;
    return style;
}
}  // namespace

void SetContainerLook(HWND w, TColor Color, bool LoweredFrame) {
    if (GetWindowLongPtrW(w, kColorSlot) == LONG_PTR(Color) && GetWindowLongPtrW(w, kFrameSlot) == LoweredFrame) return;
    SetWindowLongPtrW(w, kColorSlot, LONG_PTR(Color));
    SetWindowLongPtrW(w, kFrameSlot, LoweredFrame);
    InvalidateRect(w, nullptr, TRUE);
}

void RegisterContainerClasses() {
    static const bool registered = [] {
        for (const wchar_t* name : {kFormClass, kPanelClass}) {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof wc;
            wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
            wc.lpfnWndProc = &ContainerProc;
            wc.cbWndExtra = 2 * sizeof(LONG_PTR);
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
            wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));  // the program's icon, if any
            wc.lpszClassName = name;
            RegisterClassExW(&wc);
        }
        return true;
    }();
    (void)registered;
}

TWinFormBinding* TWinFormBinding::Of(HWND Window) {
    HWND root = Window ? GetAncestor(Window, GA_ROOT) : nullptr;
    wchar_t cls[16] = {};
    if (!root || !GetClassNameW(root, cls, 16) || lstrcmpW(cls, kFormClass) != 0) return nullptr;
    return reinterpret_cast<TWinFormBinding*>(GetWindowLongPtrW(root, GWLP_USERDATA));
}

TWinFormBinding::TWinFormBinding(TForm& Form, bool Modal, HWND Owner, TEventSink& Sink, Hooks FormHooks)
    : form_(Form), modal_(Modal), sink_(Sink), hooks_(std::move(FormHooks)) {
    RegisterContainerClasses();
    style_ = StyleOf(Form, Owner || Modal);
    exStyle_ = WS_EX_CONTROLPARENT | (Form.CloseBoxOnly || !Form.Sizeable ? WS_EX_DLGMODALFRAME : 0);
    const std::wstring name = Widen(Form.Name);
    window_.reset(CreateWindowExW(exStyle_, kFormClass, name.c_str(), style_, 0, 0, 0, 0, Owner, nullptr,
                                  GetModuleHandleW(nullptr), nullptr));
    if (!window_) return;
    SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    dpi_ = DpiOfWindow(window_.get());
    for (TControl* c : Form.Controls) Build(*c, window_.get());
    StackChildren(Form);
}

TWinFormBinding::~TWinFormBinding() { Detach(); }

void TWinFormBinding::Detach() {
    if (detached_) return;
    detached_ = true;
    for (auto& [control, view] : views_) view->Detach();
    if (HWND w = window_.get()) {
        SetWindowLongPtrW(w, GWLP_USERDATA, 0);
        ShowWindow(w, SW_HIDE);
    }
}

TWinControlView* TWinFormBinding::ViewOf(const TControl& Control) const {
    auto it = views_.find(&Control);
    return it == views_.end() ? nullptr : it->second.get();
}

TWinControlView* TWinFormBinding::ViewOfWindow(HWND Window) const {
    auto it = byWindow_.find(Window);
    return it == byWindow_.end() ? nullptr : it->second;
}

void TWinFormBinding::Build(TControl& Control, HWND Parent) {
    std::unique_ptr<TWinControlView> view = Binders().Make(Control, TWinPlace{Parent, dpi_}, sink_);
    if (!view || !view->Window()) return;  // forms nest no forms; timers and events are not controls
    HWND w = view->Window();
    byWindow_[w] = view.get();
    views_[&Control] = std::move(view);
    for (TControl* child : Control.Controls) Build(*child, w);
    StackChildren(Control);
}

// Windows tabs through siblings in their stacking order, and the topmost is drawn over the
// others. So the controls the user tabs to come first, by tab order; the rest follow, the
// later-made above the earlier (an animation over the label it sits on).
void TWinFormBinding::StackChildren(const TControl& Parent) {
    std::vector<TControl*> tabbed, others;
    for (TControl* c : Parent.Controls) {
        TWinControlView* v = ViewOf(*c);
        if (!v) continue;
        const LONG_PTR style = GetWindowLongPtrW(v->Window(), GWL_STYLE);
        const LONG_PTR ex = GetWindowLongPtrW(v->Window(), GWL_EXSTYLE);
        ((style & WS_TABSTOP) || (ex & WS_EX_CONTROLPARENT) ? tabbed : others).push_back(c);
    }
    std::stable_sort(tabbed.begin(), tabbed.end(), [](TControl* a, TControl* b) { return a->TabOrder < b->TabOrder; });
    std::reverse(others.begin(), others.end());
    HWND after = HWND_TOP;
    for (auto* list : {&tabbed, &others})
        for (TControl* c : *list) {
            HWND w = ViewOf(*c)->Window();
            SetWindowPos(w, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            after = w;
        }
}

void TWinFormBinding::Sync() {
    HWND w = window_.get();
    if (!w || detached_) return;
    TForm& f = form_;
    size_.Sync(f);
    AlignForm(f);
    SetContainerLook(w, f.Color, false);
    RECT client{};
    GetClientRect(w, &client);
    const int cw = Scale(f.ClientWidth, dpi_), ch = Scale(f.ClientHeight, dpi_);
    if (client.right != cw || client.bottom != ch) {
        const RECT outer = OuterRect(RECT{0, 0, cw, ch}, style_, exStyle_, dpi_);
        const ScopedValue<bool> ours(resizingFromState_, true);
        SetWindowPos(w, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const std::wstring title = Widen(f.Caption);
    wchar_t current[512] = {};
    GetWindowTextW(w, current, 512);
    if (title != current) SetWindowTextW(w, title.c_str());
    for (TControl* c : f.Controls) SyncControl(*c);
}

void TWinFormBinding::SyncControl(TControl& Control) {
    TWinControlView* view = ViewOf(Control);
    if (!view) {  // added after the window was made
        TWinControlView* parent = Control.Parent ? ViewOf(*Control.Parent) : nullptr;
        Build(Control, parent ? parent->Window() : window_.get());
        if (!(view = ViewOf(Control))) return;
    }
    HWND w = view->Window();
    Shown& shown = shown_[&Control];
    HFONT font = FontOf(EffectiveFont(Control), dpi_);
    if (shown.Font != font) {
        SendMessageW(w, WM_SETFONT, WPARAM(font), TRUE);
        shown.Font = font;
    }
    RECT g{Control.Left, Control.Top, Control.Left + std::max(0, Control.Width),
           Control.Top + std::max(0, Control.Height)};
    view->Sync(g, dpi_);
    const RECT place{Scale(g.left, dpi_), Scale(g.top, dpi_), Scale(g.right, dpi_), Scale(g.bottom, dpi_)};
    if (!EqualRect(&place, &shown.Place)) {
        SetWindowPos(w, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        shown.Place = place;
    }
    if (shown.Enabled != int(Control.Enabled)) {
        EnableWindow(w, Control.Enabled);
        shown.Enabled = Control.Enabled;
    }
    if (shown.Visible != int(Control.Visible)) {
        ShowWindow(w, Control.Visible ? SW_SHOWNA : SW_HIDE);
        shown.Visible = Control.Visible;
    }
    for (TControl* child : Control.Controls) SyncControl(*child);
}

void TWinFormBinding::Position(HWND OwnerWindow) {
    HWND w = window_.get();
    if (positioned_ || !w) return;
    positioned_ = true;
    RECT area{};
    if (OwnerWindow && IsWindowVisible(OwnerWindow)) {
        GetWindowRect(OwnerWindow, &area);
    } else {
        MONITORINFO mi{};
        mi.cbSize = sizeof mi;
        GetMonitorInfoW(MonitorFromWindow(OwnerWindow ? OwnerWindow : w, MONITOR_DEFAULTTOPRIMARY), &mi);
        area = mi.rcWork;
    }
    RECT outer{};
    GetWindowRect(w, &outer);
    const int ow = outer.right - outer.left, oh = outer.bottom - outer.top;
    SetWindowPos(w, nullptr, area.left + (area.right - area.left - ow) / 2,
                 area.top + (area.bottom - area.top - oh) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    // A window that moved onto a monitor of another scale has had WM_DPICHANGED meanwhile.
}

int TWinFormBinding::Repaint() {
    HWND w = window_.get();
    if (!w) return repaints_;
    const DWORD now = GetTickCount();
    if (repaints_ == 0 || now - lastRepaint_ >= kRepaintGapMs) {
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        lastRepaint_ = now;
    } else {
        InvalidateRect(w, nullptr, FALSE);
    }
    return ++repaints_;
}

bool TWinFormBinding::Key(const MSG& m) {
    if (detached_) return false;
    TButton* target = nullptr;
    if (m.message == WM_KEYDOWN && m.wParam == VK_ESCAPE) {
        target = ButtonForKey(form_, TFormKey::Escape, nullptr);
    } else if (m.message == WM_KEYDOWN && m.wParam == VK_RETURN) {
        TWinControlView* v = ViewOfWindow(GetFocus());
        target = ButtonForKey(form_, TFormKey::Enter, v ? v->Button() : nullptr);
    } else if (m.message == WM_SYSCHAR) {
        target = ButtonForAccelerator(form_, char32_t(m.wParam));
        if (!target) return false;  // the window menu's own keys
    } else {
        return false;
    }
    if (target) sink_.Dispatch([target] { PressButton(*target); });
    return true;
}

void TWinFormBinding::UserResized(int ClientWidth, int ClientHeight) {
    if (resizingFromState_ || detached_) return;
    TForm& f = form_;
    if (ClientWidth == Scale(f.ClientWidth, dpi_) && ClientHeight == Scale(f.ClientHeight, dpi_)) return;
    size_.ClientResized(f, Unscale(ClientWidth, dpi_), Unscale(ClientHeight, dpi_));
    if (hooks_.SyncAll) hooks_.SyncAll();
}

// Never lets the window system close the window: a modal form's loop ends and the runtime
// lets it go; CloseForm has hidden any other already.
bool TWinFormBinding::CloseRequested() {
    if (!detached_) RequestUserClose(form_, modal_, sink_, hooks_.CloseForm);
    return false;
}

// The window moved to a monitor of another scale: everything is placed and lettered anew.
void TWinFormBinding::DpiChanged(int Dpi, const RECT& Suggested) {
    dpi_ = Dpi;
    {
        const ScopedValue<bool> ours(resizingFromState_, true);
        SetWindowPos(window_.get(), nullptr, Suggested.left, Suggested.top, Suggested.right - Suggested.left,
                     Suggested.bottom - Suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    for (auto& [control, shown] : shown_) shown = Shown{};
    if (hooks_.SyncAll) hooks_.SyncAll();
}

}  // namespace ui::win
