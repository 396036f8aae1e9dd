#include "ui/product_dialog.h"

namespace ui {

TProductDialogExtras::TProductDialogExtras(TEngineDialog& Form)
    : ProceedTimer(&Form, "ProceedTimer"),
      MoreInfoLabel(&Form, &Form.ButtonPanel, "MoreInfoLabel"),
      Animate1(&Form, &Form.JobTitlePanel, "Animate1") {}

void ApplyProductLayout(TEngineDialog& Form, TProductDialogExtras& Extras) {
    const TFont segoe{"Segoe UI", 12, clWindowText, false};
    const int frameW = Form.Width - Form.ClientWidth, frameH = Form.Height - Form.ClientHeight;
    Form.Caption = "%s Updater";
    Form.ClientWidth = 407, Form.ClientHeight = 282;
    Form.Width = 407 + frameW, Form.Height = 282 + frameH;
    Form.Font = segoe;

    for (TControl* c : {static_cast<TControl*>(&Form.JobTitlePanel), static_cast<TControl*>(&Form.ProgressPanel),
                        static_cast<TControl*>(&Form.ProgressBar), static_cast<TControl*>(&Form.ExternalAppPanel),
                        static_cast<TControl*>(&Form.ActionPanel), static_cast<TControl*>(&Form.Panel1),
                        static_cast<TControl*>(&Form.ProgressMemo), static_cast<TControl*>(&Form.BottomPanel)})
        c->Width = 407;

    Form.Label1.Left = 2, Form.Label1.Width = 102, Form.Label1.Height = 15;
    Form.Label1.Caption = "Download Progress";
    Form.ProgressBar.BarColor = clHighlight;
    Form.JobTitlePanel.LoweredFrame = false;
    Form.JobLabel.Left = 0, Form.JobLabel.Top = 0, Form.JobLabel.Width = 407, Form.JobLabel.Height = 33;
    Form.JobLabel.AutoSize = false;
    Form.JobLabel.ParentFont = true;
    Form.JobLabel.Font = segoe;

    Form.BottomPanel.Top = 249, Form.BottomPanel.Height = 33;
    Form.ButtonPanel.Left = 31, Form.ButtonPanel.Width = 376, Form.ButtonPanel.Height = 33;
    Form.StopBitBtn.Left = 104, Form.StopBitBtn.Top = 5;
    Form.StopBitBtn.Visible = false;
    Form.ProceedBitBtn.Left = 184, Form.ProceedBitBtn.Top = 5;
    Form.ProceedBitBtn.Enabled = false;
    Form.CloseBtn.Left = 296, Form.CloseBtn.Top = 5;
    Form.ActionPanel.Height = 184;
    Form.Label2.Left = 2, Form.Label2.Top = 1, Form.Label2.Width = 32, Form.Label2.Height = 15;
    Form.ProgressMemo.Height = 167;
    Form.ProgressMemo.Font = segoe;
    Form.ProgressMemo.SelColor = clWindowText;

    Extras.Animate1.Left = 327, Extras.Animate1.Top = 2, Extras.Animate1.Width = 16, Extras.Animate1.Height = 16;
    // Placed, not docked: the title ends short of the busy indicator, which never covers its text.
    Form.JobLabel.Align = TAlign::None;
    Form.JobLabel.Width = Extras.Animate1.Left - 4;
    Extras.Animate1.StartFrame = 1, Extras.Animate1.StopFrame = 8;
    Extras.Animate1.Active = true;

    auto& link = Extras.MoreInfoLabel;
    link.Left = 24, link.Top = 11, link.Width = 111, link.Height = 15;
    link.Caption = "Upgrade Information";
    link.ParentFont = false;
    link.Font = {"Segoe UI", 12, clHighlight, false};
    link.Visible = false;

    Extras.ProceedTimer.Enabled = false;
    Extras.ProceedTimer.Interval = 50;
}

}  // namespace ui
