#pragma once
// The Qt binders (ui/binder_registry.h): a view shows a control with a widget. The form's
// window (qt_form_binding) asks the registry for the binder of each control's kind.
#include <QRect>
#include <QWidget>

#include "ui/binder_registry.h"
#include "ui/components.h"

namespace ui::qt {

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

using TQtBinders = TBinderRegistry<TQtControlView, QWidget*>;

// Panels, labels, buttons, progress bars, memos, edits and the busy indicator.
void AddStandardBinders(TQtBinders& Binders);
// The binders the runtime uses: the standard ones.
const TQtBinders& Binders();

// Sets one colour of a widget's palette, leaving the palette alone when it has it already.
void SetPaletteColor(QWidget& Widget, QPalette::ColorRole Role, const QColor& Color);

}  // namespace ui::qt
