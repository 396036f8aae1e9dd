#include "product/brinquet_express_contact_dialog.h"

#include "ui/branding.h"

using namespace ui;

void TContactForm::FormCreate() { ApplyProductName(*this); }
