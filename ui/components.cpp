#include "ui/components.h"

#include "ui/runtime.h"

namespace ui {

TComponent::TComponent(TComponent* AOwner, std::string AName) : Name(std::move(AName)), Owner(AOwner) {
    if (Owner) Owner->Components.push_back(this);
}

namespace {
void Forget(auto& list, const auto* item) { std::erase(list, item); }
}  // namespace

TComponent::~TComponent() {
    if (Owner) Forget(Owner->Components, this);
    for (TComponent* c : Components) c->Owner = nullptr;
}

TControl::TControl(TComponent* AOwner, TControl* AParent, std::string AName)
    : TComponent(AOwner, std::move(AName)), Parent(AParent) {
    if (Parent) Parent->Controls.push_back(this);
}

TControl::~TControl() {
    if (Parent) Forget(Parent->Controls, this);
    for (TControl* c : Controls) c->Parent = nullptr;
}

TTimer::~TTimer() { Runtime().TimerFreed(*this); }

void TButton::Click() {
    if (Visible && Enabled && OnClick) OnClick();
}

void TRichMemo::Append(const std::string& Text) {
    Lines.push_back({Text, SelColor, SelBold});
    CaretLine = Lines.size();
}

std::string TRichMemo::Text() const {
    std::string out;
    for (const auto& l : Lines) out.append(l.Text).append("\r\n");
    return out;
}

TForm::TForm(std::string AName, TForm* OwnerForm) : TControl(OwnerForm, nullptr, std::move(AName)) {}

void TForm::Show() { Runtime().ShowForm(*this); }
void TForm::Close() { Runtime().CloseForm(*this); }
int TForm::ShowModal() { return Runtime().ShowModal(*this); }
void TForm::Repaint() { Runtime().Repaint(*this); }

const TFont& EffectiveFont(const TControl& Control) {
    const TControl* c = &Control;
    while (c->ParentFont && c->Parent) c = c->Parent;
    return c->Font;
}

}  // namespace ui
