// Buttons with their glyphs; a click goes to the state as the user's click.
#include <QPushButton>

#include "ui/qt/glyphs.h"
#include "ui/qt/qt_binder.h"
#include "ui/qt/qt_standard_binders.h"
#include "ui/runtime.h"

namespace ui::qt {

namespace {
class TButtonView final : public TQtView<TButton, QPushButton> {
public:
    TButtonView(TButton& State, QWidget* Parent, TEventSink& Sink) : TQtView(State, new QPushButton(Parent)) {
        // Enter and Esc are the form's (its default and cancel buttons), not Qt's.
        widget_->setAutoDefault(false);
        widget_->setDefault(false);
        widget_->setIcon(GlyphIcon(State.Glyph, State.GlyphSize));
        widget_->setIconSize(QSize(State.GlyphSize, State.GlyphSize));
        TButton& t = State;
        clicked_ =
            QObject::connect(widget_, &QPushButton::clicked, [&Sink, &t] { Sink.Dispatch([&t] { PressButton(t); }); });
    }
    void Detach() override { QObject::disconnect(clicked_); }
    TButton* Button() override { return &state_; }

    void Sync(QRect&) override {
        const QString text = QString::fromStdString(state_.Caption);
        if (widget_->text() != text) widget_->setText(text);
    }

private:
    QMetaObject::Connection clicked_;
};
}  // namespace

void AddButtonBinder(TQtBinders& Binders) { Binders.Add<TButton, TButtonView>(TComponentKind::Button); }

}  // namespace ui::qt
