#include "ui/qt/qt_binder.h"

#include "ui/qt/qt_standard_binders.h"

namespace ui::qt {

void AddStandardBinders(TQtBinders& Binders) {
    AddPanelAndLabelBinders(Binders);
    AddIndicatorBinders(Binders);
    AddButtonBinder(Binders);
    AddEditBinder(Binders);
    AddMemoBinder(Binders);
}

const TQtBinders& Binders() {
    static const TQtBinders binders(&AddStandardBinders);
    return binders;
}

void SetPaletteColor(QWidget& Widget, QPalette::ColorRole Role, const QColor& Color) {
    if (Widget.palette().color(Role) == Color) return;
    QPalette pal = Widget.palette();
    pal.setColor(Role, Color);
    Widget.setPalette(pal);
}

}  // namespace ui::qt
