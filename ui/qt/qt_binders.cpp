#include "ui/qt/qt_binder.h"

#include "ui/qt/qt_standard_binders.h"

namespace ui::qt {

void CallHandler(TQtEventSink& Sink, const std::function<void()>& Handler) {
    if (!Handler) return;
    auto copy = Handler;  // the handler may replace itself
    Sink.Dispatch(copy);
}

std::unique_ptr<TQtControlView> TQtBinders::Make(TControl& Control, QWidget* Parent, TQtEventSink& Sink) const {
    auto it = factories_.find(Control.Kind());
    return it == factories_.end() ? nullptr : it->second(Control, Parent, Sink);
}

void AddStandardBinders(TQtBinders& Binders) {
    AddPanelAndLabelBinders(Binders);
    AddIndicatorBinders(Binders);
    AddButtonBinder(Binders);
    AddEditBinder(Binders);
    AddMemoBinder(Binders);
}

const TQtBinders& Binders() {
    static const TQtBinders binders = [] {
        TQtBinders b;
        AddStandardBinders(b);
        return b;
    }();
    return binders;
}

void SetPaletteColor(QWidget& Widget, QPalette::ColorRole Role, const QColor& Color) {
    if (Widget.palette().color(Role) == Color) return;
    QPalette pal = Widget.palette();
    pal.setColor(Role, Color);
    Widget.setPalette(pal);
}

}  // namespace ui::qt
