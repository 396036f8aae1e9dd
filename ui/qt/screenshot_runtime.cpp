#include "ui/qt/screenshot_runtime.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

namespace ui::qt {

namespace {
constexpr int kSettleMs = 300;  // lets the window draw itself before it is taken or answered

// A panel folded away keeps its Visible flag and only loses its height.
bool IsHidden(const TForm& Form, const std::string& Name) {
    for (TComponent* c : Form.Components)
        if (c->Name == Name)
            if (auto* control = dynamic_cast<TControl*>(c)) return !control->Visible || control->Height <= 0;
    return false;
}
}  // namespace

TScreenshotRuntime::TScreenshotRuntime(int& argc, char** argv, TScreenshotPlan Plan)
    : TQtRuntime(argc, argv), plan_(std::move(Plan)) {}

// Nobody is there to read it: it is answered with its default button.
void TScreenshotRuntime::BoxShowing(QMessageBox& Box) {
    std::fprintf(stderr, "message box: %s\n", Box.text().toLocal8Bit().constData());
    QTimer::singleShot(kSettleMs, &Box, [&Box] {
        QAbstractButton* b = Box.defaultButton();
        if (!b) b = Box.buttons().value(0);
        if (b) b->click();
    });
}

// Like a message box: the form is taken as it stands and answered with its default button.
void TScreenshotRuntime::ModalShowing(TForm& Form) {
    QWidget* window = WindowOf(Form);
    if (!window) return;
    QTimer::singleShot(kSettleMs, window, [this, &Form] {
        for (TComponent* c : Form.Components)
            if (c->Kind() == TComponentKind::Button && static_cast<TButton*>(c)->Default) {
                auto* button = static_cast<TButton*>(c);
                Dispatch([button] { PressButton(*button); });
                return;
            }
    });
}

void TScreenshotRuntime::LoopStarting(TForm& MainForm) { RunStep(0, MainForm); }

void TScreenshotRuntime::Repainted(TForm& Form, int Count, bool MainLoop) {
    if (!MainLoop) return;
    if (Count == plan_.DuringAt)
        if (QWidget* w = WindowOf(Form)) plan_.Save(*w, plan_.During);
    if (!hiddenTaken_ && !plan_.HiddenControl.empty() && IsHidden(Form, plan_.HiddenControl))
        if (QWidget* w = WindowOf(Form)) hiddenTaken_ = plan_.Save(*w, plan_.Hidden);
}

// Once the loop is idle: the step's picture, then its button, then the next step.
void TScreenshotRuntime::RunStep(size_t Index, TForm& Form) {
    QWidget* window = WindowOf(Form);
    if (!window || Index >= plan_.Steps.size()) return;
    QTimer::singleShot(kSettleMs, window, [this, Index, &Form] {
        QWidget* w = WindowOf(Form);
        if (!w) return;
        Sync();
        plan_.Save(*w, plan_.Steps[Index].Picture);
        const std::string& name = plan_.Steps[Index].Button;
        for (TComponent* c : Form.Components)
            if (c->Name == name && c->Kind() == TComponentKind::Button) {
                auto* button = static_cast<TButton*>(c);
                Dispatch([button] { PressButton(*button); });
                break;
            }
        RunStep(Index + 1, Form);
    });
}

}  // namespace ui::qt
