#include "ui/win/win_binder.h"

namespace ui::win {

void CallHandler(TWinEventSink& Sink, const std::function<void()>& Handler) {
    if (!Handler) return;
    auto copy = Handler;  // the handler may replace itself
    Sink.Dispatch(copy);
}

std::unique_ptr<TWinControlView> TWinBinders::Make(TControl& Control, const TWinPlace& Place,
                                                   TWinEventSink& Sink) const {
    auto it = factories_.find(Control.Kind());
    return it == factories_.end() ? nullptr : it->second(Control, Place, Sink);
}

void AddStandardBinders(TWinBinders& Binders) {
    AddPanelAndLabelBinders(Binders);
    AddIndicatorBinders(Binders);
    AddButtonBinder(Binders);
    AddEditBinder(Binders);
    AddMemoBinder(Binders);
}

const TWinBinders& Binders() {
    static const TWinBinders binders = [] {
        TWinBinders b;
        AddStandardBinders(b);
        return b;
    }();
    return binders;
}

HWND MakeChild(const wchar_t* Class, DWORD Style, DWORD ExStyle, const TWinPlace& Place) {
    return CreateWindowExW(ExStyle, Class, L"", WS_CHILD | WS_CLIPSIBLINGS | Style, 0, 0, 0, 0, Place.Parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

}  // namespace ui::win
