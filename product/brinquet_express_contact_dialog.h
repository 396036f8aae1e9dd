#pragma once
// BrinquetExpressContactDialog: asks for the contact name and e-mail address that the
// status upload carries. The product form makes one for each press of Proceed.
#include "ui/contact_dialog.h"

class TContactForm : public TContactDialog {
public:
    explicit TContactForm(TForm* AOwner) : TContactDialog(AOwner) {}
    // Brands the invitation text with the product's name.
    void FormCreate();
};
