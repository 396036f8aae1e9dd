#pragma once
// The forms a window runtime has on screen, each with its binding to a toolkit window. Both
// runtimes keep their state on this; a Binding offers ViewOf(const TControl&) and Window().
#include <map>
#include <memory>
#include <utility>

#include "ui/components.h"

namespace ui {

template <class Binding>
struct TFormRegistry {
    std::map<const TForm*, std::unique_ptr<Binding>> forms;

    // Form's binding; nullptr when it is not on screen.
    Binding* Find(const TForm& Form) const {
        auto it = forms.find(&Form);
        return it == forms.end() ? nullptr : it->second.get();
    }
    // Form's binding, no longer in the registry; nullptr when Form was not on screen.
    std::unique_ptr<Binding> Take(const TForm& Form) {
        auto it = forms.find(&Form);
        if (it == forms.end()) return nullptr;
        std::unique_ptr<Binding> b = std::move(it->second);
        forms.erase(it);
        return b;
    }
    // The view of Control on whichever form shows it; nullptr when none does.
    auto ViewOf(const TControl& Control) const -> decltype(std::declval<Binding&>().ViewOf(Control)) {
        for (auto& [form, b] : forms)
            if (auto* v = b->ViewOf(Control)) return v;
        return nullptr;
    }
    // The window of the form that owns Form, for placing Form over it; nullptr without one.
    auto OwnerWindowOf(const TForm& Form) const -> decltype(std::declval<Binding&>().Window()) {
        if (!Form.Owner || Form.Owner->Kind() != TComponentKind::Form) return nullptr;
        Binding* owner = Find(static_cast<const TForm&>(*Form.Owner));
        return owner ? owner->Window() : nullptr;
    }
};

}  // namespace ui
