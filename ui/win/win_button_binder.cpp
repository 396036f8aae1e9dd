// Buttons with their glyphs; a click goes to the state as the user's click.
#include <windows.h>

#include <commctrl.h>

#include "platform/wide_text_win.h"
#include "ui/runtime.h"
#include "ui/win/win_binder.h"
#include "ui/win/win_glyphs.h"
#include "ui/win/win_style.h"

using namespace platform;

namespace ui::win {

namespace {
class TButtonView final : public TWinView<TButton> {
public:
    TButtonView(TButton& State, const TWinPlace& Place, TEventSink& Sink) : TWinView(State), sink_(&Sink) {
        window_ = MakeChild(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0, Place);
    }
    void Detach() override { sink_ = nullptr; }
    TButton* Button() override { return &state_; }
    void Command(WORD Code) override {
        if (Code != BN_CLICKED || !sink_) return;
        TButton* b = &state_;
        sink_->Dispatch([b] { PressButton(*b); });
    }

    void Sync(RECT&, int Dpi) override {
        const std::wstring text = Widen(state_.Caption);  // "&Close": Windows underlines the C
        if (text != shown_) {
            SetWindowTextW(window_, text.c_str());
            shown_ = text;
        }
        if (Dpi != glyphDpi_) {
            glyphDpi_ = Dpi;
            images_ = GlyphImages(state_.Glyph, Scale(state_.GlyphSize, Dpi));
            BUTTON_IMAGELIST bil{images_.get(), RECT{Scale(2, Dpi), 0, Scale(2, Dpi), 0}, BUTTON_IMAGELIST_ALIGN_LEFT};
            SendMessageW(window_, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&bil));
        }
    }

private:
    TEventSink* sink_;
    std::wstring shown_;
    int glyphDpi_ = 0;
    TOwnedImageList images_;  // the button only borrows it
};
}  // namespace

void AddButtonBinder(TWinBinders& Binders) { Binders.Add<TButton, TButtonView>(TComponentKind::Button); }

}  // namespace ui::win
