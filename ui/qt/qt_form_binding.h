#pragma once
// One form on screen: its window, a view per control made by the control kind's binder,
// and the form's own state (size, caption, font, colours) copied to the window.
#include <QElapsedTimer>
#include <QPointer>
#include <functional>
#include <memory>
#include <unordered_map>

#include "ui/components.h"
#include "ui/form_size.h"
#include "ui/qt/qt_binder.h"
#include "ui/qt/qt_widgets.h"

namespace ui::qt {

class TQtFormBinding {
public:
    // What the window asks of the runtime: a close requested by the user.
    struct Hooks {
        std::function<void(TForm&)> CloseForm;
        std::function<void()> SyncAll;
    };
    // Makes the window (owned by Owner's window, when given) and the views of every control.
    TQtFormBinding(TForm& Form, bool Modal, QWidget* Owner, TEventSink& Sink, Hooks AHooks);
    // Cuts every way from the widgets to the state and lets the window go.
    ~TQtFormBinding();
    TQtFormBinding(const TQtFormBinding&) = delete;
    TQtFormBinding& operator=(const TQtFormBinding&) = delete;

    TForm& Form() const { return form_; }
    TQtFormWindow* Window() const { return window_; }
    bool Modal() const { return modal_; }
    // The view of Control; nullptr when this form does not show it.
    TQtControlView* ViewOf(const TControl& Control) const;

    // Copies the form's state, and that of every control, to the window.
    void Sync();
    // Centres the window the first time it is shown: on its owner or on the screen.
    void Position(QWidget* OwnerWindow);
    // Repaints at once, unless the last repaint is too recent; returns how many so far.
    int Repaint();

private:
    void Build(TControl& Control, QWidget* Parent);
    void SyncControl(TControl& Control, QWidget* Parent);
    void ChainTabOrder();
    bool Key(QKeyEvent& Event);
    void UserResized(int ClientWidth, int ClientHeight);
    bool CloseRequested();

    TForm& form_;
    bool modal_;
    TEventSink& sink_;
    Hooks hooks_;
    QPointer<TQtFormWindow> window_;
    std::unordered_map<const TControl*, std::unique_ptr<TQtControlView>> views_;
    TFormSizeSync size_;
    bool positioned_ = false;
    int repaints_ = 0;
    QElapsedTimer sinceRepaint_;
};

}  // namespace ui::qt
