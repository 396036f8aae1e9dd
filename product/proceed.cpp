// Proceed: the start timer's press starts the update; a press while the script updater
// waits runs it and ends the wait.
#include "product/brinquet_express_update_dialog.h"

void TzelBrinquetUpdaterDialogForm::ProceedBitBtnClick(TComponent* Sender) {
    ProceedBitBtn.Enabled = false;
    if (!Sender) {
        TzelCustUpdaterDialogForm::ProceedBitBtnClick(Sender);
        return;
    }
    CarryOutWaitingEntry();
}

void TzelBrinquetUpdaterDialogForm::CarryOutWaitingEntry() {
    if (MoreInfoLabel.Visible) MoreInfoLabel.Visible = false;
    // The engine's run: the waiting entry is not deferred a second time.
    RunFile(FCurrentFileName, FCurrentFromVisual, FCurrentwasDownloaded);
    FDecided = true;
    JobLabel.Caption = "Upgrading";
}
