#pragma once
// The binders of the component kinds the forms use, one registration per file.

#include "ui/qt/qt_binder.h"

namespace ui::qt {

void AddPanelAndLabelBinders(TQtBinders& Binders);  // qt_static_binders.cpp
void AddIndicatorBinders(TQtBinders& Binders);      // qt_indicator_binders.cpp: progress bar, busy indicator
void AddButtonBinder(TQtBinders& Binders);          // qt_button_binder.cpp
void AddEditBinder(TQtBinders& Binders);            // qt_edit_binder.cpp
void AddMemoBinder(TQtBinders& Binders);            // qt_memo_binder.cpp

}  // namespace ui::qt
