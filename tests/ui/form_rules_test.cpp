// The rules every window runtime applies alike: the keys and the close box a form answers,
// and the strip a button's picture becomes. Each runtime's own tests show that it follows them.
#include <gtest/gtest.h>

#include "ui/binder_registry.h"
#include "ui/form_keys.h"
#include "ui/glyph_shapes.h"
#include "ui/user_close.h"

using namespace ui;

namespace {
struct KeyForm : TForm {
    KeyForm() : TForm("KeyForm") {
        ok.Default = true;
        cancel.Cancel = true;
    }
    TButton other{this, this, "Other"}, ok{this, this, "Ok"}, cancel{this, this, "Cancel"};
};

TEST(FormKeys, EscAndEnterPressTheirButtons) {
    KeyForm f;
    KeyForm plain;
    plain.ok.Default = plain.cancel.Cancel = false;
    const struct {
        const char* name;
        TForm& form;
        TFormKey key;
        TButton* focused;
        TButton* pressed;
    } cases[] = {
        {"Esc", f, TFormKey::Escape, nullptr, &f.cancel},
        {"Esc with a button focused", f, TFormKey::Escape, &f.other, &f.cancel},
        {"Enter", f, TFormKey::Enter, nullptr, &f.ok},
        {"Enter on a focused button", f, TFormKey::Enter, &f.other, &f.other},
        {"Esc without a cancel button", plain, TFormKey::Escape, nullptr, nullptr},
        {"Enter without a default button", plain, TFormKey::Enter, nullptr, nullptr},
    };
    for (const auto& c : cases) EXPECT_EQ(ButtonForKey(c.form, c.key, c.focused), c.pressed) << c.name;
}

TEST(FormKeys, AltWithALetterPressesTheButtonItMarks) {
    const struct {
        const char* caption;
        char32_t accelerator;
    } marks[] = {{"&Close", U'C'},
                 {"Pro&ceed", U'C'},
                 {"Save && &quit", U'Q'},
                 {"Fish && chips", 0},
                 {"Caf&\xC3\xA9", U'\u00C9'},
                 {"Trailing&", 0},
                 {"", 0}};
    for (const auto& m : marks) EXPECT_EQ(AcceleratorOf(m.caption), m.accelerator) << m.caption;

    TForm f("Accelerators");
    TButton hidden{&f, &f, "Hidden"}, disabled{&f, &f, "Disabled"}, close{&f, &f, "Close"}, cafe{&f, &f, "Cafe"};
    hidden.Caption = "&Close", hidden.Visible = false;
    disabled.Caption = "&Close", disabled.Enabled = false;
    close.Caption = "&Close";
    cafe.Caption = "Caf&\xC3\xA9";
    const struct {
        const char* name;
        char32_t letter;
        TButton* pressed;
    } cases[] = {{"lower case", U'c', &close},
                 {"upper case", U'C', &close},
                 {"accented", U'\u00E9', &cafe},
                 {"no button marks it", U'x', nullptr},
                 {"no letter", 0, nullptr}};
    for (const auto& c : cases) EXPECT_EQ(ButtonForAccelerator(f, c.letter), c.pressed) << c.name;
}

struct CountingSink : TEventSink {
    void Dispatch(const std::function<void()>& Action) override {
        ++dispatched;
        Action();
    }
    int dispatched = 0;
};

TEST(UserClose, OnlyAFormWithACloseBoxCloses) {
    const struct {
        const char* name;
        bool closeBoxOnly, borderIcons, modal;
        TUserClose result;
        int modalResult, closes;
    } cases[] = {
        {"no border icons", false, false, false, TUserClose::Refused, mrNone, 0},
        {"no border icons, modal", false, false, true, TUserClose::Refused, mrNone, 0},
        {"border icons", false, true, false, TUserClose::Closing, mrNone, 1},
        {"close box only", true, false, false, TUserClose::Closing, mrNone, 1},
        {"modal with a close box", true, false, true, TUserClose::EndsModal, mrCancel, 0},
    };
    for (const auto& c : cases) {
        TForm f("Closing");
        f.CloseBoxOnly = c.closeBoxOnly, f.BorderIcons = c.borderIcons;
        CountingSink sink;
        int closes = 0;
        EXPECT_EQ(RequestUserClose(f, c.modal, sink, [&](TForm& closed) { closes += &closed == &f; }), c.result)
            << c.name;
        EXPECT_EQ(f.ModalResult, c.modalResult) << c.name;
        EXPECT_EQ(closes, c.closes) << c.name;
        EXPECT_EQ(sink.dispatched, c.closes) << c.name << ": the close runs as an event";
    }
}

TEST(GlyphStrips, TheDisabledPictureIsTheSharedGrey) {
    const struct {
        TColor normal, disabled;
    } greys[] = {{0xCC0000, 0x9E9E9E},
                 {0x009900, 0xADADAD},
                 {0xFFFFFF, 0xFFFFFF},
                 {0x000000, 0x808080},
                 {kGlyphTransparent, kGlyphTransparent}};
    for (const auto& g : greys) EXPECT_EQ(GreyedGlyphColor(g.normal), g.disabled) << std::hex << g.normal;

    // A 2 x 2 picture: the strip is the picture, then its grey, row by row; the lower-left
    // pixel of each is the transparent colour whatever was drawn there.
    const std::vector<TColor> strip = GlyphStripOf({0xCC0000, kGlyphTransparent, 0x000000, 0xFFFFFF}, 2);
    EXPECT_EQ(strip, (std::vector<TColor>{0xCC0000, kGlyphTransparent, 0x9E9E9E, kGlyphTransparent, kGlyphTransparent,
                                          0xFFFFFF, kGlyphTransparent, 0xFFFFFF}));
    EXPECT_TRUE(GlyphStripOf({0xCC0000}, 2).empty()) << "a picture of the wrong size";
    EXPECT_TRUE(GlyphShapes(TGlyph::None).empty());
}

}  // namespace
