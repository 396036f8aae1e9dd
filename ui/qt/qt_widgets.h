#pragma once
// The few widgets the component kinds need beyond Qt's own: a form window that hands its
// keys, resizes and close requests to the runtime, a label with pointer events, and the
// busy indicator that stands in for the find-file animation.
#include <QDialog>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace ui::qt {

class TQtFormWindow : public QDialog {
public:
    explicit TQtFormWindow(QWidget* Parent);
    // Esc and Enter, when no child took them; return true when handled.
    std::function<bool(QKeyEvent&)> OnKey;
    // The user resized the window (not a resize the runtime made itself).
    std::function<void(int ClientWidth, int ClientHeight)> OnUserResize;
    // The user asked to close the window (close box, window manager). Return true to let it close.
    std::function<bool()> OnCloseRequest;
    bool ResizingFromState = false;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void reject() override;
};

class TQtLabel : public QLabel {
public:
    explicit TQtLabel(QWidget* Parent) : QLabel(Parent) {}
    std::function<void()> OnClick, OnEnter, OnLeave;

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
};

// Eight frames, one step every 100 ms while active: a ring of dots with a bright head.
class TQtBusyIndicator : public QWidget {
public:
    explicit TQtBusyIndicator(QWidget* Parent);
    void SetActive(bool Active);
    void SetFrames(int StartFrame, int StopFrame);
    bool Active() const { return timer_.isActive(); }
    int Frame() const { return frame_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QTimer timer_;
    int start_ = 1, stop_ = 8, frame_ = 1;
};

}  // namespace ui::qt
