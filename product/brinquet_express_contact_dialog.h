#pragma once
// BrinquetExpressContactDialog: asks for the contact name and e-mail address that the
// status upload carries. The product form makes one for each press of Proceed.
#include "ui/contact_dialog.h"

class TContactForm : public ui::TContactDialog {
public:
    explicit TContactForm(ui::TForm* AOwner) : ui::TContactDialog(AOwner) {}
    // Brands the invitation text with the product's name.
    void FormCreate();
};
