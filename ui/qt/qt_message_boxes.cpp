// Message and confirmation boxes of the Qt runtime, and the last word on an error nobody
// handled.
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

#include "ui/application.h"
#include "ui/qt/qt_runtime.h"

namespace ui::qt {

QAbstractButton* TQtRuntime::RunBox(QMessageBox& Box) {
    Sync();
    if (OnMessageBox) return OnMessageBox(Box);
    BoxShowing(Box);
    Box.exec();
    return Box.clickedButton();
}

void TQtRuntime::ReportUnhandled(const std::string& Message) {
    std::fprintf(stderr, "%s\n", Message.c_str());
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(Application().Title), QString::fromStdString(Message),
                    QMessageBox::Ok);
    RunBox(box);
}

void TQtRuntime::ShowMessage(const std::string& Text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(Application().Title), QString::fromStdString(Text),
                    QMessageBox::Ok);
    RunBox(box);
}

void TQtRuntime::ShowError(const std::string& Text) {
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(Application().Title), QString::fromStdString(Text),
                    QMessageBox::Ok);
    RunBox(box);
}

bool TQtRuntime::Confirm(const std::string& Text) {
    QMessageBox box(QMessageBox::Question, "Confirm", QString::fromStdString(Text));
    QPushButton* yes = box.addButton(QMessageBox::Yes);
    QPushButton* no = box.addButton(QMessageBox::No);
    yes->setText("&Yes");
    no->setText("&No");
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    // No parent: Qt centres a box without one on the screen.
    return RunBox(box) == yes;
}

}  // namespace ui::qt
