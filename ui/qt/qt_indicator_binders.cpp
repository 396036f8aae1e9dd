// What shows progress: the progress bar and the busy indicator (the find-file animation).
#include <QProgressBar>
#include <algorithm>

#include "ui/qt/qt_binder.h"
#include "ui/qt/qt_standard_binders.h"
#include "ui/qt/qt_style.h"
#include "ui/qt/qt_widgets.h"

namespace ui::qt {

namespace {
class TProgressBarView final : public TQtView<TProgressBar, QProgressBar> {
public:
    TProgressBarView(TProgressBar& State, QWidget* Parent, TEventSink&) : TQtView(State, new QProgressBar(Parent)) {
        widget_->setTextVisible(false);
    }
    void Sync(QRect&) override {
        const TProgressBar& p = state_;
        // Qt shows an empty range as a busy bar; an empty bar is meant.
        const int max = std::max(p.Max, p.Min + 1);
        if (widget_->minimum() != p.Min || widget_->maximum() != max) widget_->setRange(p.Min, max);
        const int value = std::clamp(p.Position, p.Min, max);
        if (widget_->value() != value) widget_->setValue(value);
        SetPaletteColor(*widget_, QPalette::Highlight, ResolveColor(p.BarColor));
    }
};

class TAnimateView final : public TQtView<TAnimate, TQtBusyIndicator> {
public:
    TAnimateView(TAnimate& State, QWidget* Parent, TEventSink&) : TQtView(State, new TQtBusyIndicator(Parent)) {}
    void Sync(QRect&) override {
        widget_->SetFrames(state_.StartFrame, state_.StopFrame);
        widget_->SetActive(state_.Active && state_.Visible);
    }
};
}  // namespace

void AddIndicatorBinders(TQtBinders& Binders) {
    Binders.Add<TProgressBar, TProgressBarView>(TComponentKind::ProgressBar);
    Binders.Add<TAnimate, TAnimateView>(TComponentKind::Animate);
}

}  // namespace ui::qt
