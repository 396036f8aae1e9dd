// One-line edits: typed text goes into the state at once; text the code sets is shown.
#include <QLineEdit>

#include "ui/qt/qt_binder.h"
#include "ui/qt/qt_standard_binders.h"

namespace ui::qt {

namespace {
class TEditView final : public TQtView<TEdit, QLineEdit> {
public:
    TEditView(TEdit& State, QWidget* Parent, TEventSink&) : TQtView(State, new QLineEdit(Parent)) {
        edited_ = QObject::connect(widget_, &QLineEdit::textEdited, [this](const QString& text) {
            state_.Text = text.toStdString();
            shown_ = state_.Text;
        });
    }
    void Detach() override { QObject::disconnect(edited_); }

    void Sync(QRect&) override {
        if (shown_ == state_.Text) return;
        widget_->setText(QString::fromStdString(state_.Text));
        shown_ = state_.Text;
    }

private:
    QMetaObject::Connection edited_;
    std::string shown_;  // the text last given to the widget
};
}  // namespace

void AddEditBinder(TQtBinders& Binders) { Binders.Add<TEdit, TEditView>(TComponentKind::Edit); }

}  // namespace ui::qt
