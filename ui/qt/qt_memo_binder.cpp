// The status memo: one paragraph per line with its colour and weight. New lines are
// appended; the document is rebuilt only when lines went away.
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

#include "ui/qt/qt_binder.h"
#include "ui/qt/qt_standard_binders.h"
#include "ui/qt/qt_style.h"

namespace ui::qt {

namespace {
// Line breaks inside a status text stay inside its line.
QString LineText(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    s.replace(QLatin1Char('\r'), QChar::LineSeparator);
    s.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return s;
}

QTextCharFormat LineFormat(const TRichMemo::Line& line) {
    QTextCharFormat f;
    f.setForeground(ResolveColor(line.Color));
    f.setFontWeight(line.Bold ? QFont::Bold : QFont::Normal);
    return f;
}

class TMemoView final : public TQtView<TRichMemo, QTextEdit> {
public:
    TMemoView(TRichMemo& State, QWidget* Parent, TEventSink&) : TQtView(State, new QTextEdit(Parent)) {
        widget_->setReadOnly(State.ReadOnly);
        widget_->setUndoRedoEnabled(false);
        widget_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        widget_->setVerticalScrollBarPolicy(State.VerticalScrollBar ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        widget_->setLineWrapMode(QTextEdit::WidgetWidth);
        widget_->setAutoFillBackground(true);
    }

    void Sync(QRect&) override {
        SetPaletteColor(*widget_, QPalette::Base, ResolveColor(state_.Color));
        SetPaletteColor(*widget_, QPalette::Text, ResolveColor(EffectiveFont(state_).Color));
        SyncLines();
    }

    void ScrollIntoView() override {
        SyncLines();
        QTextCursor cursor(widget_->document());
        if (state_.CaretLine < state_.Lines.size())
            cursor.setPosition(widget_->document()->findBlockByNumber(int(state_.CaretLine)).position());
        else
            cursor.movePosition(QTextCursor::End);
        widget_->setTextCursor(cursor);
        widget_->ensureCursorVisible();
    }

private:
    void SyncLines() {
        const auto& lines = state_.Lines;
        const bool replaced = lines.size() < shown_ || (shown_ > 0 && lines[shown_ - 1].Text != last_);
        QTextDocument* doc = widget_->document();
        if (replaced) {
            doc->clear();
            shown_ = 0;
        }
        if (lines.size() == shown_) return;
        QTextCursor cursor(doc);
        cursor.movePosition(QTextCursor::End);
        for (size_t i = shown_; i < lines.size(); ++i) {
            const QTextCharFormat format = LineFormat(lines[i]);
            if (i > 0)
                cursor.insertBlock(QTextBlockFormat(), format);
            else
                cursor.setBlockCharFormat(format);
            cursor.insertText(LineText(lines[i].Text), format);
        }
        shown_ = lines.size();
        last_ = lines.back().Text;
    }

    size_t shown_ = 0;  // lines already in the document
    std::string last_;  // text of the last of them, to notice a replaced list
};
}  // namespace

void AddMemoBinder(TQtBinders& Binders) { Binders.Add<TRichMemo, TMemoView>(TComponentKind::RichMemo); }

}  // namespace ui::qt
