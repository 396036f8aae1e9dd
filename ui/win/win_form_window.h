#pragma once
// One form on screen: its window, a view per control made by the control kind's binder, and
// the form's own state (size, caption, font, colour) copied to the window. Sizes in the state
// are layout pixels at 96 dots per inch; the window shows them at its monitor's scale.
#include <windows.h>

#include <functional>
#include <memory>
#include <unordered_map>

#include "ui/components.h"
#include "ui/form_size.h"
#include "ui/win/win_binder.h"
#include "ui/win/win_handles.h"

namespace ui::win {

class TWinFormBinding {
public:
    // What the window asks of the runtime.
    struct Hooks {
        std::function<void(TForm&)> CloseForm;
        std::function<void()> SyncAll;
    };
    // Makes the window (owned by Owner, when given) and the views of every control.
    TWinFormBinding(TForm& Form, bool Modal, HWND Owner, TEventSink& Sink, Hooks FormHooks);
    // Destroys the window; call Detach first and only where no message of it is running.
    ~TWinFormBinding();
    TWinFormBinding(const TWinFormBinding&) = delete;
    TWinFormBinding& operator=(const TWinFormBinding&) = delete;

    TForm& Form() const { return form_; }
    HWND Window() const { return window_.get(); }
    bool Modal() const { return modal_; }
    int Dpi() const { return dpi_; }
    TWinControlView* ViewOf(const TControl& Control) const;
    TWinControlView* ViewOfWindow(HWND Window) const;
    // The binding a window of this runtime (a form or any control on it) belongs to.
    static TWinFormBinding* Of(HWND Window);

    // Copies the form's state, and that of every control, to the windows.
    void Sync();
    // Centres the window the first time it is shown: on its owner or on its monitor.
    void Position(HWND OwnerWindow);
    // Repaints at once, unless the last repaint is too recent; returns how many so far.
    int Repaint();
    // Esc, Enter and Alt with a letter, before the window system sees them; true when taken.
    bool Key(const MSG& Message);
    // Cuts every way from the windows to the state and hides the window.
    void Detach();

    // From the window procedure.
    void UserResized(int ClientWidth, int ClientHeight);
    bool CloseRequested();
    void DpiChanged(int Dpi, const RECT& Suggested);

private:
    void Build(TControl& Control, HWND Parent);
    void StackChildren(const TControl& Parent);
    void SyncControl(TControl& Control);

    TForm& form_;
    bool modal_;
    TEventSink& sink_;
    Hooks hooks_;
    TOwnedWindow window_;
    DWORD style_ = 0, exStyle_ = 0;
    int dpi_ = 96;
    std::unordered_map<const TControl*, std::unique_ptr<TWinControlView>> views_;
    std::unordered_map<HWND, TWinControlView*> byWindow_;
    struct Shown {
        RECT Place{};
        HFONT Font = nullptr;
        int Visible = -1, Enabled = -1;
    };
    std::unordered_map<const TControl*, Shown> shown_;
    TFormSizeSync size_;
    bool resizingFromState_ = false;
    bool positioned_ = false;
    bool detached_ = false;
    int repaints_ = 0;
    DWORD lastRepaint_ = 0;
};

// Registers the form and panel window classes (once).
void RegisterContainerClasses();

}  // namespace ui::win
