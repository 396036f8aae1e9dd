#include "ui/engine_dialog.h"

namespace ui {

namespace {
void Place(TControl& c, int left, int top, int width, int height, TAlign align = TAlign::None) {
    c.Left = left, c.Top = top, c.Width = width, c.Height = height, c.Align = align;
}
}  // namespace

TEngineDialog::TEngineDialog() : TForm("zelCustUpdaterDialogForm") {
    Caption = "ZEL Web Updater";
    BorderIcons = false;
    Sizeable = true;
    ClientWidth = 450, ClientHeight = 283;
    Width = 450, Height = 283;
    Color = clBtnFace;
    Font = {"MS Sans Serif", 11, clWindowText, false};
    Position = TFormPosition::ScreenCenter;

    Place(JobTitlePanel, 0, 0, 450, 33, TAlign::Top);
    JobTitlePanel.LoweredFrame = true;
    JobTitlePanel.TabOrder = 1;
    Place(JobLabel, 1, 1, 448, 31, TAlign::Client);
    JobLabel.Caption = "Checking for %s Updates";
    JobLabel.Alignment = THAlign::Center;
    JobLabel.Layout = TVAlign::Center;
    JobLabel.WordWrap = true;
    JobLabel.ParentFont = false;
    JobLabel.Font = {"MS Sans Serif", 13, clWindowText, false};
    JobLabel.Color = clBtnFace;
    JobLabel.Transparent = false;

    Place(ProgressPanel, 0, 33, 450, 32, TAlign::Top);
    Place(Label1, 0, 0, 41, 13);
    Label1.Caption = "Progress";
    Place(ProgressBar, 0, 16, 450, 16, TAlign::Bottom);

    Place(ExternalAppPanel, 0, 65, 450, 0, TAlign::Top);
    ExternalAppPanel.LoweredFrame = true;
    ExternalAppPanel.TabOrder = 4;

    Place(ActionPanel, 0, 65, 450, 176, TAlign::Client);
    ActionPanel.TabOrder = 3;
    Place(Panel1, 0, 0, 450, 17, TAlign::Top);
    Place(Label2, 0, 3, 30, 13);
    Label2.Caption = "Status";
    Place(ProgressMemo, 0, 17, 450, 159, TAlign::Client);
    ProgressMemo.ParentFont = false;
    ProgressMemo.Font = {"MS Sans Serif", 11, clNavy, false};
    ProgressMemo.Color = clWindow;
    ProgressMemo.SelColor = clNavy;
    ProgressMemo.TabOrder = 1;

    Place(BottomPanel, 0, 241, 450, 42, TAlign::Bottom);
    BottomPanel.TabOrder = 2;
    Place(ButtonPanel, 149, 0, 301, 42, TAlign::Right);

    Place(StopBitBtn, 32, 8, 75, 25);
    StopBitBtn.Caption = "Stop";
    StopBitBtn.Glyph = TGlyph::Cross;
    StopBitBtn.GlyphSize = 18;
    StopBitBtn.Cancel = true;
    StopBitBtn.TabOrder = 0;
    Place(ProceedBitBtn, 112, 8, 89, 25);
    ProceedBitBtn.Caption = "Proceed";
    ProceedBitBtn.Glyph = TGlyph::ArrowIntoPage;
    ProceedBitBtn.GlyphSize = 16;
    ProceedBitBtn.TabOrder = 1;
    Place(CloseBtn, 224, 8, 75, 25);
    CloseBtn.Caption = "&Close";
    CloseBtn.Glyph = TGlyph::DoorUnderSign;
    CloseBtn.GlyphSize = 18;
    CloseBtn.TabOrder = 2;
}

}  // namespace ui
