// The product window's own behaviour: the update starts by itself once the window is shown,
// a file run hides the title and progress panels, the information link, Close ending the
// wait, and the layout restored before an error is shown.
#include "platform/os_services.h"
#include "product/brinquet_express_update_dialog.h"
#include "ui/runtime.h"

using namespace platform;
using namespace product;
using namespace ui;

void TzelBrinquetUpdaterDialogForm::FormShow() {
    TzelCustUpdaterDialogForm::FormShow();
    FOldHeight = Height;
    ProceedTimer.Enabled = true;
    Runtime().TimerChanged(ProceedTimer);
}

void TzelBrinquetUpdaterDialogForm::ProceedTimerTimer() {
    ProceedTimer.Enabled = false;  // it fires once
    Runtime().TimerChanged(ProceedTimer);
    ProceedBitBtnClick(nullptr);
}

void TzelBrinquetUpdaterDialogForm::CloseBtnClick() {
    FDecided = true;  // ends a wait for the user's decision
    TzelCustUpdaterDialogForm::CloseBtnClick();
}

namespace {
// The window's outer height; the client area follows it, the frame staying as it is.
void SetOuterHeight(TForm& form, int height) {
    form.ClientHeight += height - form.Height;
    form.Height = height;
}
}  // namespace

void TzelBrinquetUpdaterDialogForm::BeforeRunFile(const std::string& FileName) {
    TzelCustUpdaterDialogForm::BeforeRunFile(FileName);
    FOldProgressPanelHeight = ProgressPanel.Height;
    FOldJobTitlePanelHeight = JobTitlePanel.Height;
    JobTitlePanel.Height = 0;
    ProgressPanel.Height = 0;
    SetOuterHeight(*this, Height - (FOldProgressPanelHeight + FOldJobTitlePanelHeight) + 140);
    CloseBtn.Enabled = false;
    Repaint();
}

void TzelBrinquetUpdaterDialogForm::RestoreLayout() {
    ExternalAppPanel.Height = 0;
    SetOuterHeight(*this, FOldHeight);
    JobTitlePanel.Height = FOldJobTitlePanelHeight;
    ProgressPanel.Height = FOldProgressPanelHeight;
    CloseBtn.Enabled = true;
    if (MoreInfoLabel.Visible) MoreInfoLabel.Enabled = true;
}

bool TzelBrinquetUpdaterDialogForm::RunFile(const std::string& FileName, bool FromVisual, bool WasDownloaded,
                                            const serverini::TServerIniEntry& Entry) {
    try {
        return TzelCustUpdaterDialogForm::RunFile(FileName, FromVisual, WasDownloaded, Entry);
    } catch (const std::exception&) {
        // The error ends the update; a window left without its panels and with Close
        // disabled could not even be closed.
        RestoreLayout();
        Repaint();
        throw;
    }
}

void TzelBrinquetUpdaterDialogForm::ShowEnd(bool Failed) {
    Animate1.Active = false;
    ShowUpdateEnd(!Failed && !ErrorUpdating() && !Stopping());
}

void TzelBrinquetUpdaterDialogForm::AfterRunFile(const std::string& FileName) {
    TzelCustUpdaterDialogForm::AfterRunFile(FileName);
    RestoreLayout();
    if (FUpdateSucceeded && ReadParamsValue("Network_Install") == "1")
        ReportStatus(
            "To complete this update, all workstations need to log out of Brinquet\xC2\xAE Express.  "
            "Workstations will be updated when they log in.",
            true, true, false);
}

void TzelBrinquetUpdaterDialogForm::MoreInfoLabelMouseEnter() { MoreInfoLabel.Font.Underline = true; }
void TzelBrinquetUpdaterDialogForm::MoreInfoLabelMouseLeave() { MoreInfoLabel.Font.Underline = false; }

void TzelBrinquetUpdaterDialogForm::MoreInfoLabelClick() {
    // Whether the location could be opened is not examined: nothing to tell the user.
    OSServices().ShellOpen(FHelpLocation, "", "");
}

void TzelBrinquetUpdaterDialogForm::ApplicationEvents1Exception(const std::exception& E) {
    AfterRunFile("");  // the layout first, so the error lines are seen
    TzelCustUpdaterDialogForm::ApplicationEvents1Exception(E);
}
