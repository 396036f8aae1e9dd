// Panels and labels: text and frames, and a label's pointer events. Labels are owner-drawn
// STATIC controls, so a word-wrapped caption can also be centred vertically.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "platform/wide_text_win.h"
#include "ui/win/win_binder.h"
#include "ui/win/win_style.h"

using namespace platform;

namespace ui::win {

namespace {
class TPanelView final : public TWinView<TPanel> {
public:
    TPanelView(TPanel& State, const TWinPlace& Place, TEventSink&) : TWinView(State) {
        window_ = MakeChild(kPanelClass, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, Place);
    }
    void Sync(RECT&, int) override { SetContainerLook(window_, state_.Color, state_.LoweredFrame); }
};

class TLabelView final : public TWinView<TLabel> {
public:
    TLabelView(TLabel& State, const TWinPlace& Place, TEventSink& Sink) : TWinView(State), sink_(&Sink) {
        window_ = MakeChild(L"STATIC", SS_OWNERDRAW | SS_NOTIFY, 0, Place);
        SetWindowSubclass(window_, &LabelProc, 0, reinterpret_cast<DWORD_PTR>(this));
    }
    ~TLabelView() override { Detach(); }
    void Detach() override {
        if (sink_) RemoveWindowSubclass(window_, &LabelProc, 0);
        sink_ = nullptr;
    }
    void Command(WORD Code) override {
        if (Code == STN_CLICKED && sink_) CallHandler(*sink_, state_.OnClick);
    }

    void Sync(RECT& Geometry, int Dpi) override {
        const TLabel& l = state_;
        const std::wstring text = Widen(l.Caption);
        if (text != shown_) {
            shown_ = text;
            SetWindowTextW(window_, text.c_str());
            InvalidateRect(window_, nullptr, TRUE);
        }
        const TFont& font = EffectiveFont(l);
        const auto look = std::make_tuple(font.Color, font.Underline, l.Color, l.Transparent, int(l.Alignment),
                                          int(l.Layout), l.WordWrap);
        if (look != look_) {
            look_ = look;
            InvalidateRect(window_, nullptr, TRUE);
        }
        // A label that sizes itself to its text is never cut short when the font at hand is
        // wider than the one the layout was drawn with.
        if (l.AutoSize && !l.WordWrap && l.Align == TAlign::None) {
            const SIZE need = Measure(FontOf(font, Dpi));
            Geometry.right = std::max<LONG>(Geometry.right, Geometry.left + Unscale(need.cx, Dpi) + 1);
            Geometry.bottom = std::max<LONG>(Geometry.bottom, Geometry.top + Unscale(need.cy, Dpi) + 1);
        }
    }

    bool Draw(const DRAWITEMSTRUCT& dis) override {
        const TLabel& l = state_;
        RECT r = dis.rcItem;
        if (!l.Transparent)
            FillRect(dis.hDC, &r, BrushOf(l.Color));
        else
            FillRect(dis.hDC, &r, BrushOf(ParentColor()));
        SetBkMode(dis.hDC, TRANSPARENT);
        SetTextColor(dis.hDC, ResolveColor(IsWindowEnabled(window_) ? EffectiveFont(l).Color
                                                                    : TColor(clSystem | COLOR_GRAYTEXT)));
        HGDIOBJ old = SelectObject(dis.hDC, reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0)));
        UINT format = l.Alignment == THAlign::Center ? DT_CENTER : l.Alignment == THAlign::Right ? DT_RIGHT : DT_LEFT;
        format |= l.WordWrap ? DT_WORDBREAK : DT_SINGLELINE;
        if (l.Layout != TVAlign::Top) {
            RECT need = r;
            DrawTextW(dis.hDC, shown_.c_str(), int(shown_.size()), &need, format | DT_CALCRECT);
            const int slack = (r.bottom - r.top) - (need.bottom - need.top);
            if (slack > 0) r.top += l.Layout == TVAlign::Center ? slack / 2 : slack;
        }
        DrawTextW(dis.hDC, shown_.c_str(), int(shown_.size()), &r, format);
        SelectObject(dis.hDC, old);
        return true;
    }

private:
    TColor ParentColor() const { return state_.Parent ? state_.Parent->Color : TColor(clBtnFace); }

    SIZE Measure(HFONT font) const {
        HDC dc = GetDC(window_);
        HGDIOBJ old = SelectObject(dc, font);
        RECT r{0, 0, 0, 0};
        DrawTextW(dc, shown_.c_str(), int(shown_.size()), &r, DT_CALCRECT | DT_SINGLELINE);
        SelectObject(dc, old);
        ReleaseDC(window_, dc);
        return SIZE{r.right - r.left, r.bottom - r.top};
    }

    // The pointer's way in and out, and the hand over a label that can be clicked (a link).
    static LRESULT CALLBACK LabelProc(HWND w, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR self) {
        auto* v = reinterpret_cast<TLabelView*>(self);
        switch (msg) {
        case WM_MOUSEMOVE:
            if (!v->inside_ && v->sink_) {
                v->inside_ = true;
                TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, w, 0};
                TrackMouseEvent(&tme);
                CallHandler(*v->sink_, v->state_.OnMouseEnter);
            }
            break;
        case WM_MOUSELEAVE:
            v->inside_ = false;
            if (v->sink_) CallHandler(*v->sink_, v->state_.OnMouseLeave);
            return 0;
        case WM_SETCURSOR:
            if (v->sink_ && v->state_.OnClick) {
                SetCursor(LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            }
            break;
        }
        return DefSubclassProc(w, msg, wp, lp);
    }

    TEventSink* sink_;
    std::wstring shown_;
    std::tuple<TColor, bool, TColor, bool, int, int, bool> look_{};
    bool inside_ = false;
};
}  // namespace

void AddPanelAndLabelBinders(TWinBinders& Binders) {
    Binders.Add<TPanel, TPanelView>(TComponentKind::Panel);
    Binders.Add<TLabel, TLabelView>(TComponentKind::Label);
}

}  // namespace ui::win
