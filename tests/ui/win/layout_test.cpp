// The layouts on Windows' controls: every control where the layout tables put it.
#include <cstdlib>

#include "tests/ui/win/win_fixture.h"
#include "ui/contact_dialog.h"
#include "ui/engine_dialog.h"
#include "ui/product_dialog.h"

using namespace ui::win;
using namespace ui;

namespace {
struct Placed {
    const char* name;
    RECT place;
};

void ExpectPlaces(WinTest& t, const TForm& form, std::initializer_list<Placed> table) {
    for (const Placed& p : table) {
        SCOPED_TRACE(p.name);
        const TControl* c = nullptr;
        for (TComponent* k : form.Components)
            if (k->Name == p.name) c = static_cast<const TControl*>(k);
        ASSERT_NE(c, nullptr);
        const RECT r = t.Place(*c);
        EXPECT_EQ(r.left, p.place.left);
        EXPECT_EQ(r.top, p.place.top);
        // A label sizing itself to its text may grow where the font at hand is wider.
        const auto* l = c->Kind() == TComponentKind::Label ? static_cast<const TLabel*>(c) : nullptr;
        if (l && l->AutoSize && !l->WordWrap && l->Align == TAlign::None) {
            EXPECT_GE(r.right - r.left, p.place.right);
            EXPECT_GE(r.bottom - r.top, p.place.bottom);
        } else {
            EXPECT_EQ(r.right - r.left, p.place.right);
            EXPECT_EQ(r.bottom - r.top, p.place.bottom);
        }
    }
}

class Layouts : public WinTest {};

TEST_F(Layouts, TheEngineDialogIsPlacedAsItsTableSays) {
    TEngineDialog form;
    runtime->ShowForm(form);
    const SIZE client = ClientSize(form);
    EXPECT_EQ(client.cx, 450);
    EXPECT_EQ(client.cy, 283);
    // left, top, width, height inside the parent's client area
    ExpectPlaces(*this, form,
                 {{"JobTitlePanel", {0, 0, 450, 33}},
                  {"JobLabel", {1, 1, 448, 31}},
                  {"ProgressPanel", {0, 33, 450, 32}},
                  {"ProgressBar", {0, 16, 450, 16}},
                  {"ActionPanel", {0, 65, 450, 176}},
                  {"Panel1", {0, 0, 450, 17}},
                  {"ProgressMemo", {0, 17, 450, 159}},
                  {"BottomPanel", {0, 241, 450, 42}},
                  {"ButtonPanel", {149, 0, 301, 42}},
                  {"StopBitBtn", {32, 8, 75, 25}},
                  {"ProceedBitBtn", {112, 8, 89, 25}},
                  {"CloseBtn", {224, 8, 75, 25}}});
    const LONG_PTR style = GetWindowLongPtrW(Window(form), GWL_STYLE);
    EXPECT_FALSE(style & WS_SYSMENU) << "no title-bar buttons at all";
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_EQ(Text(Window(form)), "ZEL Web Updater");
    EXPECT_EQ(FontOf(Window(form.JobLabel)).lfHeight, -ScreenPixels(form, 13));
    EXPECT_EQ(MemoFontHeight(Window(form.ProgressMemo)), 11);
    runtime->Forget(form);
}

// The suite runs at 96 and at 144 dots per inch; every table above holds at both.
TEST_F(Layouts, WindowsAreAtTheDotsPerInchTheRunAskedFor) {
    const char* asked = std::getenv("ZEL_WIN_DPI");
    if (!asked) GTEST_SKIP() << "run outside the suite's runner";
    TEngineDialog form;
    runtime->ShowForm(form);
    EXPECT_EQ(int(GetDpiForWindow(Window(form))), std::atoi(asked));
    EXPECT_EQ(runtime->DpiOf(form), std::atoi(asked));
    runtime->Forget(form);
}

TEST_F(Layouts, TheProductDialogIsPlacedAsItsTableSays) {
    TEngineDialog form;
    TProductDialogExtras extras(form);
    ApplyProductLayout(form, extras);
    runtime->ShowForm(form);
    const SIZE client = ClientSize(form);
    EXPECT_EQ(client.cx, 407);
    EXPECT_EQ(client.cy, 282);
    ExpectPlaces(*this, form,
                 {{"JobTitlePanel", {0, 0, 407, 33}},
                  {"JobLabel", {0, 0, 323, 33}},
                  {"Animate1", {327, 2, 16, 16}},
                  {"ProgressPanel", {0, 33, 407, 32}},
                  {"ProgressBar", {0, 16, 407, 16}},
                  {"ActionPanel", {0, 65, 407, 184}},
                  {"Panel1", {0, 0, 407, 17}},
                  {"ProgressMemo", {0, 17, 407, 167}},
                  {"BottomPanel", {0, 249, 407, 33}},
                  {"ButtonPanel", {31, 0, 376, 33}},
                  {"ProceedBitBtn", {184, 5, 89, 25}},
                  {"CloseBtn", {296, 5, 75, 25}},
                  {"MoreInfoLabel", {24, 11, 111, 15}}});
    EXPECT_FALSE(IsWindowVisible(Window(form.StopBitBtn)));
    EXPECT_FALSE(IsWindowVisible(Window(extras.MoreInfoLabel)));
    EXPECT_FALSE(IsWindowEnabled(Window(form.ProceedBitBtn)));
    EXPECT_TRUE(IsWindowEnabled(Window(form.CloseBtn)));
    const LOGFONTW job = FontOf(Window(form.JobLabel));
    EXPECT_EQ(job.lfHeight, -ScreenPixels(form, 12)) << "the window's font, not its own";
    EXPECT_STREQ(job.lfFaceName, L"Segoe UI");
    EXPECT_EQ(MemoFontHeight(Window(form.ProgressMemo)), 12);
    runtime->Forget(form);
}

TEST_F(Layouts, TheContactDialogIsPlacedAsItsTableSaysAndIsNotSizeable) {
    TEngineDialog owner;
    runtime->ShowForm(owner);
    TContactDialog form(&owner);
    runtime->ShowForm(form);
    const SIZE client = ClientSize(form);
    EXPECT_EQ(client.cx, 313);
    EXPECT_EQ(client.cy, 204);
    ExpectPlaces(*this, form,
                 {{"Label1", {8, 16, 293, 45}},
                  {"ContactNameEdit", {8, 93, 297, 23}},
                  {"EmailEdit", {8, 135, 297, 23}},
                  {"BitBtn1", {119, 168, 75, 25}}});
    // Labels sizing themselves to their text may grow, never shrink or move.
    for (const TLabel* l : {&form.Label2, &form.Label3}) {
        SCOPED_TRACE(l->Name);
        const RECT r = Place(*l);
        EXPECT_EQ(r.left, l->Left);
        EXPECT_EQ(r.top, l->Top);
        EXPECT_GE(r.right - r.left, l->Width);
        const LOGFONTW f = FontOf(Window(*l));
        EXPECT_EQ(f.lfWeight, FW_BOLD);
        EXPECT_EQ(f.lfHeight, -ScreenPixels(form, 11));
    }
    const LONG_PTR style = GetWindowLongPtrW(Window(form), GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU) << "the close box";
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    runtime->Forget(form);
    runtime->Forget(owner);
}

// While a file runs the product hides its title and progress panels and makes the window
// taller: the memo takes all of it, and back.
TEST_F(Layouts, PanelsOfNoHeightGiveTheMemoTheirPlaceAndTheGrowth) {
    TEngineDialog form;
    TProductDialogExtras extras(form);
    ApplyProductLayout(form, extras);
    runtime->ShowForm(form);
    const RECT memo = Place(form.ProgressMemo);
    const SIZE client = ClientSize(form);

    form.JobTitlePanel.Height = 0, form.ProgressPanel.Height = 0;
    form.Height += 75;
    form.CloseBtn.Enabled = false;
    runtime->ProcessMessages();
    EXPECT_EQ(ClientSize(form).cy, client.cy + 75);
    const RECT grown = Place(form.ProgressMemo);
    EXPECT_EQ(grown.bottom - grown.top, memo.bottom - memo.top + 140);
    EXPECT_EQ(Place(form.ActionPanel).top, 0);
    EXPECT_FALSE(IsWindowEnabled(Window(form.CloseBtn)));

    form.Height -= 75;
    form.JobTitlePanel.Height = 33, form.ProgressPanel.Height = 32;
    form.CloseBtn.Enabled = true;
    runtime->ProcessMessages();
    EXPECT_EQ(ClientSize(form).cy, client.cy);
    const RECT back = Place(form.ProgressMemo);
    EXPECT_EQ(back.bottom - back.top, memo.bottom - memo.top);
    EXPECT_TRUE(IsWindowEnabled(Window(form.CloseBtn)));
    runtime->Forget(form);
}
}  // namespace
