#pragma once
// One binder per component kind: it makes the widget that shows a control, copies the
// control's state to it, and hands what the user does back to the state. The form's window
// (qt_form_binding) asks the registry for the binder of each control's kind; a new kind of
// control needs only a new binder and one line in AddStandardBinders (or an Add of its own).
#include <QRect>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>

#include "ui/components.h"

namespace ui::qt {

// What a binder may ask of the runtime.
class TQtEventSink {
public:
    virtual ~TQtEventSink() = default;
    // Runs Action as an event of the window system: errors go to the application's
    // exception event, and the state is shown after.
    virtual void Dispatch(const std::function<void()>& Action) = 0;
};

// Calls Handler through Sink when there is one; the handler may replace itself meanwhile.
void CallHandler(TQtEventSink& Sink, const std::function<void()>& Handler);

class TQtControlView {
public:
    virtual ~TQtControlView() = default;
    virtual QWidget& Widget() const = 0;
    // Copies the state to the widget. Geometry is where the control goes; a binder may
    // widen it (a label that sizes itself to its text).
    virtual void Sync(QRect& Geometry) = 0;
    // The form is going away: nothing the widget does may reach the state any more.
    virtual void Detach() {}
    // Brings the control's insertion point into view (the memo's caret).
    virtual void ScrollIntoView() {}
    // The button this view shows, for Enter on a focused button.
    virtual TButton* Button() { return nullptr; }
};

// A binder's view of one control of type TState shown by a widget of type TWidget.
template <class TState, class TWidget>
class TQtView : public TQtControlView {
public:
    TQtView(TState& State, TWidget* Widget) : state_(State), widget_(Widget) {}
    QWidget& Widget() const override { return *widget_; }

protected:
    TState& state_;
    TWidget* widget_;  // owned by its parent widget
};

class TQtBinders {
public:
    using Factory = std::function<std::unique_ptr<TQtControlView>(TControl&, QWidget* Parent, TQtEventSink&)>;
    // Binds controls of Kind with TView, made as TView(TState&, QWidget* Parent, TQtEventSink&).
    template <class TState, class TView>
    void Add(TComponentKind Kind) {
        factories_[Kind] = [](TControl& c, QWidget* parent, TQtEventSink& sink) -> std::unique_ptr<TQtControlView> {
            // The registry is keyed by kind, so the control is of the type registered.
            return std::make_unique<TView>(static_cast<TState&>(c), parent, sink);
        };
    }
    // The view of Control, or nullptr for a kind no binder shows.
    std::unique_ptr<TQtControlView> Make(TControl& Control, QWidget* Parent, TQtEventSink& Sink) const;

private:
    std::map<TComponentKind, Factory> factories_;
};

// Panels, labels, buttons, progress bars, memos, edits and the busy indicator.
void AddStandardBinders(TQtBinders& Binders);
// The binders the runtime uses: the standard ones.
const TQtBinders& Binders();

// Sets one colour of a widget's palette, leaving the palette alone when it has it already.
void SetPaletteColor(QWidget& Widget, QPalette::ColorRole Role, const QColor& Color);

}  // namespace ui::qt
