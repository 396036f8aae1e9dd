#include "ui/contact_dialog.h"

namespace ui {

namespace {
void Place(TControl& c, int left, int top, int width, int height) {
    c.Left = left, c.Top = top, c.Width = width, c.Height = height;
}
}  // namespace

TContactDialog::TContactDialog(TForm* AOwner) : TForm("ContactForm", AOwner) {
    Caption = "";
    BorderIcons = true;
    CloseBoxOnly = true;
    Sizeable = false;
    ClientWidth = Width = 313;
    ClientHeight = Height = 204;
    Color = clBtnFace;
    // The name is as the dialog has always carried it; the nearest font stands in.
    Font = {"Sego UI", 12, clWindowText, false};
    Position = TFormPosition::OwnerFormCenter;

    Place(Label1, 8, 16, 293, 45);
    Label1.AutoSize = false;
    Label1.WordWrap = true;
    Label1.Caption = "Please take a moment to provide a contact name and email to receive information about %s.";

    const TFont tahomaBold{"Tahoma", 11, clWindowText, true};
    Place(Label2, 8, 77, 44, 13);
    Label2.Caption = "Contact";
    Label2.ParentFont = false;
    Label2.Font = tahomaBold;
    Place(ContactNameEdit, 8, 93, 297, 23);
    ContactNameEdit.TabOrder = 0;
    Place(Label3, 8, 120, 29, 13);
    Label3.Caption = "EMail";
    Label3.ParentFont = false;
    Label3.Font = tahomaBold;
    Place(EmailEdit, 8, 135, 297, 23);
    EmailEdit.TabOrder = 1;

    Place(BitBtn1, 119, 168, 75, 25);
    BitBtn1.Caption = "OK";
    BitBtn1.Glyph = TGlyph::CheckMark;
    BitBtn1.GlyphSize = 18;
    BitBtn1.Default = true;
    BitBtn1.ModalResult = mrOk;
    BitBtn1.TabOrder = 2;
}

}  // namespace ui
