#include "ui/control_align.h"

#include <algorithm>
#include <vector>

#include "ui/components.h"

namespace ui {

int ClientInset(const TControl& Parent) {
    if (Parent.Kind() != TComponentKind::Panel) return 0;
    return static_cast<const TPanel&>(Parent).LoweredFrame ? 1 : 0;
}

namespace {
std::vector<TControl*> Docked(TControl& Parent, TAlign Align) {
    std::vector<TControl*> out;
    for (TControl* c : Parent.Controls)
        if (c->Visible && c->Align == Align) out.push_back(c);
    return out;
}

// Stable sorts keep the creation order among controls with the same position.
template <class Key>
void SortBy(std::vector<TControl*>& v, Key key) {
    std::stable_sort(v.begin(), v.end(), [&](TControl* a, TControl* b) { return key(a) < key(b); });
}
}  // namespace

void AlignChildren(TControl& Parent, int ClientWidth, int ClientHeight) {
    const int inset = ClientInset(Parent);
    int left = inset, top = inset, right = ClientWidth - inset, bottom = ClientHeight - inset;

    auto tops = Docked(Parent, TAlign::Top);
    SortBy(tops, [](TControl* c) { return c->Top; });
    for (TControl* c : tops) {
        c->Left = left, c->Top = top, c->Width = std::max(0, right - left);
        top += c->Height;
    }
    // The one lowest down is nearest the bottom edge.
    auto bottoms = Docked(Parent, TAlign::Bottom);
    SortBy(bottoms, [](TControl* c) { return -(c->Top + c->Height); });
    for (TControl* c : bottoms) {
        bottom -= c->Height;
        c->Left = left, c->Top = bottom, c->Width = std::max(0, right - left);
    }
    auto lefts = Docked(Parent, TAlign::Left);
    SortBy(lefts, [](TControl* c) { return c->Left; });
    for (TControl* c : lefts) {
        c->Left = left, c->Top = top, c->Height = std::max(0, bottom - top);
        left += c->Width;
    }
    auto rights = Docked(Parent, TAlign::Right);
    SortBy(rights, [](TControl* c) { return -(c->Left + c->Width); });
    for (TControl* c : rights) {
        right -= c->Width;
        c->Left = right, c->Top = top, c->Height = std::max(0, bottom - top);
    }
    for (TControl* c : Docked(Parent, TAlign::Client)) {
        c->Left = left, c->Top = top;
        c->Width = std::max(0, right - left), c->Height = std::max(0, bottom - top);
    }
    for (TControl* c : Parent.Controls) AlignChildren(*c, c->Width, c->Height);
}

void AlignForm(TForm& Form) { AlignChildren(Form, Form.ClientWidth, Form.ClientHeight); }

}  // namespace ui
