// The product window's own behaviour: the update starts by itself once the window is shown,
// and Close also ends the wait for the user's decision.
#include "product/brinquet_express_update_dialog.h"
#include "ui/runtime.h"

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
