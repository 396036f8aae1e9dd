#include "product/brinquet_express_contact_dialog.h"

#include "ui/branding.h"

void TContactForm::FormCreate() { ApplyProductName(*this); }
