#include "ui/branding.h"

#include "platform/strconv.h"
#include "ui/application.h"
#include "ui/components.h"

using namespace platform;
using namespace ui;

namespace {
void Brand(TComponent& c) {
    const TComponentKind k = c.Kind();
    if (k != TComponentKind::Form && k != TComponentKind::Label && k != TComponentKind::Panel) return;
    auto& control = static_cast<TControl&>(c);
    control.Caption = ReplaceAllText(control.Caption, "%s", ProductName);
}
}  // namespace

void ApplyProductName(TForm& Form) {
    Brand(Form);
    for (TComponent* c : Form.Components) Brand(*c);
}
