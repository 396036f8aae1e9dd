// Panels and labels: text and frames, and a label's pointer events.
#include <QFontMetrics>
#include <QFrame>

#include "ui/qt/qt_binder.h"
#include "ui/qt/qt_standard_binders.h"
#include "ui/qt/qt_style.h"
#include "ui/qt/qt_widgets.h"

namespace ui::qt {

namespace {
class TPanelView final : public TQtView<TPanel, QFrame> {
public:
    TPanelView(TPanel& State, QWidget* Parent, TEventSink&) : TQtView(State, new QFrame(Parent)) {
        widget_->setAutoFillBackground(true);
    }
    void Sync(QRect&) override {
        const int style = state_.LoweredFrame ? (QFrame::Panel | QFrame::Sunken) : QFrame::NoFrame;
        if (widget_->frameStyle() != style) widget_->setFrameStyle(style);
        if (widget_->lineWidth() != 1) widget_->setLineWidth(1);
        SetPaletteColor(*widget_, QPalette::Window, ResolveColor(state_.Color));
    }
};

class TLabelView final : public TQtView<TLabel, TQtLabel> {
public:
    TLabelView(TLabel& State, QWidget* Parent, TEventSink& Sink) : TQtView(State, new TQtLabel(Parent)) {
        widget_->setTextFormat(Qt::PlainText);
        TLabel& l = State;
        widget_->OnClick = [&Sink, &l] { CallHandler(Sink, l.OnClick); };
        widget_->OnEnter = [&Sink, &l] { CallHandler(Sink, l.OnMouseEnter); };
        widget_->OnLeave = [&Sink, &l] { CallHandler(Sink, l.OnMouseLeave); };
    }
    void Detach() override { widget_->OnClick = widget_->OnEnter = widget_->OnLeave = nullptr; }

    void Sync(QRect& Geometry) override {
        const TLabel& l = state_;
        const QString text = PlainCaption(l.Caption);
        if (widget_->text() != text) widget_->setText(text);
        const Qt::CursorShape cursor = l.OnClick ? Qt::PointingHandCursor : Qt::ArrowCursor;  // a link
        if (widget_->cursor().shape() != cursor) widget_->setCursor(cursor);
        Qt::Alignment a = l.Alignment == THAlign::Center  ? Qt::AlignHCenter
                          : l.Alignment == THAlign::Right ? Qt::AlignRight
                                                          : Qt::AlignLeft;
        a |= l.Layout == TVAlign::Center   ? Qt::AlignVCenter
             : l.Layout == TVAlign::Bottom ? Qt::AlignBottom
                                           : Qt::AlignTop;
        if (widget_->alignment() != a) widget_->setAlignment(a);
        if (widget_->wordWrap() != l.WordWrap) widget_->setWordWrap(l.WordWrap);
        SetPaletteColor(*widget_, QPalette::WindowText, ResolveColor(EffectiveFont(l).Color));
        if (widget_->autoFillBackground() == l.Transparent) widget_->setAutoFillBackground(!l.Transparent);
        if (!l.Transparent) SetPaletteColor(*widget_, QPalette::Window, ResolveColor(l.Color));
        // A label that sizes itself to its text is never cut short when the font at hand is
        // wider than the one the layout was drawn with.
        if (l.AutoSize && !l.WordWrap && l.Align == TAlign::None) {
            const QFontMetrics fm(ResolveFont(EffectiveFont(l)));
            Geometry.setWidth(std::max(Geometry.width(), fm.horizontalAdvance(text)));
            Geometry.setHeight(std::max(Geometry.height(), fm.height()));
        }
    }
};
}  // namespace

void AddPanelAndLabelBinders(TQtBinders& Binders) {
    Binders.Add<TPanel, TPanelView>(TComponentKind::Panel);
    Binders.Add<TLabel, TLabelView>(TComponentKind::Label);
}

}  // namespace ui::qt
