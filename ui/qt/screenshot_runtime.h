#pragma once
// The Qt runtime driven by a screenshot plan: it takes the pictures, presses the plan's
// buttons and answers message boxes and modal forms with their default button. Linked only into the
// screenshot programs.
#include "ui/qt/qt_runtime.h"
#include "ui/qt/screenshot_plan.h"

namespace ui::qt {

class TScreenshotRuntime final : public TQtRuntime {
public:
    TScreenshotRuntime(int& argc, char** argv, TScreenshotPlan Plan);

protected:
    void BoxShowing(QMessageBox& Box) override;
    void ModalShowing(TForm& Form) override;
    void LoopStarting(TForm& MainForm) override;
    void Repainted(TForm& Form, int Count, bool MainLoop) override;

private:
    void RunStep(size_t Index, TForm& Form);
    TScreenshotPlan plan_;
    bool hiddenTaken_ = false;
};

}  // namespace ui::qt
