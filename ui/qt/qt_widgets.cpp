#include "ui/qt/qt_widgets.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace ui::qt {

TQtFormWindow::TQtFormWindow(QWidget* Parent) : QDialog(Parent) {}

void TQtFormWindow::keyPressEvent(QKeyEvent* e) {
    if (OnKey && OnKey(*e)) return;
    // Esc and Enter belong to the form's own buttons, never to QDialog's reject/accept.
    const int k = e->key();
    if (k == Qt::Key_Escape || k == Qt::Key_Return || k == Qt::Key_Enter) return;
    QDialog::keyPressEvent(e);
}

void TQtFormWindow::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    if (!ResizingFromState && OnUserResize) OnUserResize(width(), height());
}

void TQtFormWindow::closeEvent(QCloseEvent* e) {
    if (!OnCloseRequest || OnCloseRequest()) {
        e->accept();
        done(QDialog::Rejected);
        return;
    }
    e->ignore();
}

// QDialog's own way out (Esc) is not the form's: the runtime ends a form with done().
void TQtFormWindow::reject() {}

void TQtLabel::mouseReleaseEvent(QMouseEvent* e) {
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && OnClick) OnClick();
}

void TQtLabel::enterEvent(QEnterEvent* e) {
    QLabel::enterEvent(e);
    if (OnEnter) OnEnter();
}

void TQtLabel::leaveEvent(QEvent* e) {
    QLabel::leaveEvent(e);
    if (OnLeave) OnLeave();
}

TQtBusyIndicator::TQtBusyIndicator(QWidget* Parent) : QWidget(Parent) {
    timer_.setInterval(100);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
        frame_ = frame_ >= stop_ ? start_ : frame_ + 1;
        update();
    });
}

void TQtBusyIndicator::SetActive(bool Active) {
    if (Active == timer_.isActive()) return;
    if (Active) {
        frame_ = start_;  // plays from the start, over and over
        timer_.start();
    } else {
        timer_.stop();
    }
    update();
}

void TQtBusyIndicator::SetFrames(int StartFrame, int StopFrame) {
    if (StopFrame < StartFrame) StopFrame = StartFrame;
    start_ = StartFrame, stop_ = StopFrame;
    if (frame_ < start_ || frame_ > stop_) frame_ = start_;
}

void TQtBusyIndicator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int frames = std::max(1, stop_ - start_ + 1);
    const int head = frame_ - start_;
    const QPointF centre(width() / 2.0, height() / 2.0);
    const qreal ring = std::min(width(), height()) / 2.0 - 2.5, dot = std::min(width(), height()) / 8.0;
    const QColor base = palette().color(QPalette::Highlight);
    for (int i = 0; i < 8; ++i) {
        const qreal angle = (i * 45.0 - 90.0) * M_PI / 180.0;
        // The head is brightest, the dots behind it fade; inactive shows all dots dim.
        const int behind = (head * 8 / frames - i + 8) % 8;
        QColor c = base;
        c.setAlphaF(timer_.isActive() ? std::max(0.15, 1.0 - behind * 0.15) : 0.3);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawEllipse(centre + QPointF(std::cos(angle) * ring, std::sin(angle) * ring), dot, dot);
    }
}

}  // namespace ui::qt
