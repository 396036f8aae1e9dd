#include "ui/win/win_binder.h"

namespace ui::win {

void AddStandardBinders(TWinBinders& Binders) {
    AddPanelAndLabelBinders(Binders);
    AddIndicatorBinders(Binders);
    AddButtonBinder(Binders);
    AddEditBinder(Binders);
    AddMemoBinder(Binders);
}

const TWinBinders& Binders() {
    static const TWinBinders binders(&AddStandardBinders);
    return binders;
}

HWND MakeChild(const wchar_t* Class, DWORD Style, DWORD ExStyle, const TWinPlace& Place) {
    return CreateWindowExW(ExStyle, Class, L"", WS_CHILD | WS_CLIPSIBLINGS | Style, 0, 0, 0, 0, Place.Parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

}  // namespace ui::win
