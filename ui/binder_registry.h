#pragma once
// The binders of a window runtime, one per component kind: a binder makes the toolkit's
// widget for a control, copies the control's state to it and hands what the user does back to
// the state. Each toolkit has its own view type and place (a parent widget, a parent window
// and its scale); the registry, the event sink and the way a handler is called are the same.
#include <functional>
#include <map>
#include <memory>

#include "ui/components.h"

namespace ui {

// What a binder may ask of the runtime.
class TEventSink {
public:
    virtual ~TEventSink() = default;
    // Runs Action as an event of the window system: errors go to the application's
    // exception event, and the state is shown after.
    virtual void Dispatch(const std::function<void()>& Action) = 0;
};

// Calls Handler through Sink when there is one; the handler may replace itself meanwhile.
inline void CallHandler(TEventSink& Sink, const std::function<void()>& Handler) {
    if (!Handler) return;
    auto copy = Handler;
    Sink.Dispatch(copy);
}

// A new kind of control needs only a new binder and one Add.
template <class TView, class TPlace>
class TBinderRegistry {
public:
    using Factory = std::function<std::unique_ptr<TView>(TControl&, TPlace, TEventSink&)>;
    TBinderRegistry() = default;
    // The registry that Fill adds to.
    explicit TBinderRegistry(void (*Fill)(TBinderRegistry&)) { Fill(*this); }

    // Binds controls of Kind with TBound, made as TBound(TState&, TPlace, TEventSink&).
    template <class TState, class TBound>
    void Add(TComponentKind Kind) {
        factories_[Kind] = [](TControl& c, TPlace p, TEventSink& s) -> std::unique_ptr<TView> {
            // The registry is keyed by kind, so the control is of the type registered.
            return std::make_unique<TBound>(static_cast<TState&>(c), p, s);
        };
    }
    // The view of Control, or nullptr for a kind no binder shows.
    std::unique_ptr<TView> Make(TControl& Control, TPlace Place, TEventSink& Sink) const {
        auto it = factories_.find(Control.Kind());
        return it == factories_.end() ? nullptr : it->second(Control, Place, Sink);
    }

private:
    std::map<TComponentKind, Factory> factories_;
};

}  // namespace ui
