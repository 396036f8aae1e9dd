#pragma once
// The contact dialog's window: asks for a contact name and an e-mail address. The product's
// contact form derives from it and gives it its behaviour.
#include "ui/components.h"

namespace ui {

class TContactDialog : public TForm {
public:
    // Owner: the form that opens it; the dialog opens centred over it.
    explicit TContactDialog(TForm* AOwner);

    TLabel Label1{this, this, "Label1"};
    TEdit ContactNameEdit{this, this, "ContactNameEdit"};
    TEdit EmailEdit{this, this, "EmailEdit"};
    TLabel Label2{this, this, "Label2"};
    TLabel Label3{this, this, "Label3"};
    TButton BitBtn1{this, this, "BitBtn1"};
};

}  // namespace ui
