#include "product/brinquet_express_update_dialog.h"

#include "ui/branding.h"
#include "ui/runtime.h"

TzelBrinquetUpdaterDialogForm::TzelBrinquetUpdaterDialogForm() : TProductDialogExtras(static_cast<TEngineDialog&>(*this)) {
    ApplyProductLayout(*this, *this);
    ProceedTimer.OnTimer = [this] { ProceedTimerTimer(); };
}

TzelBrinquetUpdaterDialogForm::~TzelBrinquetUpdaterDialogForm() = default;

void TzelBrinquetUpdaterDialogForm::FormCreate() {
    TzelCustUpdaterDialogForm::FormCreate();
    ApplyProductName(*this);
}

void TzelBrinquetUpdaterDialogForm::Start() { TzelCustUpdaterDialogForm::Start(); }
