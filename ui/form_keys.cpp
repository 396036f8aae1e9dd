#include "ui/form_keys.h"

#include <functional>

#include "platform/utf8.h"

namespace ui {

namespace {
TButton* FindButton(TForm& Form, const std::function<bool(TButton&)>& Match) {
    for (TComponent* c : Form.Components)
        if (c->Kind() == TComponentKind::Button && Match(static_cast<TButton&>(*c))) return static_cast<TButton*>(c);
    return nullptr;
}

// The upper case of the letters a Western-European keyboard types.
char32_t Upper(char32_t c) {
    if ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
    return c;
}
}  // namespace

TButton* ButtonForKey(TForm& Form, TFormKey Key, TButton* Focused) {
    if (Key == TFormKey::Escape) return FindButton(Form, [](TButton& b) { return b.Cancel; });
    if (Focused) return Focused;
    return FindButton(Form, [](TButton& b) { return b.Default; });
}

char32_t AcceleratorOf(const std::string& Caption) {
    for (size_t i = 0; i + 1 < Caption.size(); ++i) {
        if (Caption[i] != '&') continue;
        if (Caption[i + 1] == '&') {
            ++i;
            continue;
        }
        size_t next = i + 1;
        return Upper(platform::utf8::NextCodePoint(Caption, next));
    }
    return 0;
}

TButton* ButtonForAccelerator(TForm& Form, char32_t Letter) {
    if (Letter == 0) return nullptr;
    const char32_t letter = Upper(Letter);
    return FindButton(Form,
                      [letter](TButton& b) { return b.Visible && b.Enabled && AcceleratorOf(b.Caption) == letter; });
}

}  // namespace ui
