#include "product/brinquet_express_update_dialog.h"

#include "ui/branding.h"
#include "ui/runtime.h"

using namespace product;
using namespace ui;

TzelBrinquetUpdaterDialogForm::TzelBrinquetUpdaterDialogForm()
    : TProductDialogExtras(static_cast<TEngineDialog&>(*this)) {
    ApplyProductLayout(*this, *this);
    ProceedTimer.OnTimer = [this] { ProceedTimerTimer(); };
    MoreInfoLabel.OnClick = [this] { MoreInfoLabelClick(); };
    MoreInfoLabel.OnMouseEnter = [this] { MoreInfoLabelMouseEnter(); };
    MoreInfoLabel.OnMouseLeave = [this] { MoreInfoLabelMouseLeave(); };
    // What an error before the first run restores: the layout as made.
    FOldHeight = Height;
    FOldProgressPanelHeight = ProgressPanel.Height;
    FOldJobTitlePanelHeight = JobTitlePanel.Height;
}

TzelBrinquetUpdaterDialogForm::~TzelBrinquetUpdaterDialogForm() = default;

void TzelBrinquetUpdaterDialogForm::FormCreate() {
    TzelCustUpdaterDialogForm::FormCreate();
    ApplyProductName(*this);
}

void TzelBrinquetUpdaterDialogForm::Start() { TzelCustUpdaterDialogForm::Start(); }
