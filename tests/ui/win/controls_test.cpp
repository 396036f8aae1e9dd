// Each kind of control on Windows' own controls: what the state says is what they show, and
// what the user does reaches the state.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "tests/ui/glyph_probes.h"
#include "tests/ui/win/win_fixture.h"
#include "ui/engine_dialog.h"
#include "ui/product_dialog.h"
#include "ui/win/win_glyphs.h"

using namespace ui;
using namespace ui::win;

namespace {
class Controls : public WinTest {
public:
    void SetUp() override {
        WinTest::SetUp();
        ApplyProductLayout(form, extras);
        runtime->ShowForm(form);
    }
    void TearDown() override {
        runtime->Forget(form);
        WinTest::TearDown();
    }
    TEngineDialog form;
    TProductDialogExtras extras{form};
};

TEST_F(Controls, TheMemoShowsEachLineInItsColourAndWeight) {
    TRichMemo& memo = form.ProgressMemo;
    struct Case {
        const char* text;
        TColor color;
        bool bold;
        COLORREF shown;
    } cases[] = {
        {"Connecting to update server...", clWindowText, false, GetSysColor(COLOR_WINDOWTEXT)},
        {"Update error: no server", clWindowText, true, GetSysColor(COLOR_WINDOWTEXT)},
        {"Error: it failed", clRed, false, RGB(255, 0, 0)},
        {"Navy and bold", clNavy, true, RGB(0, 0, 128)},
    };
    for (const Case& c : cases) {
        memo.SelColor = c.color, memo.SelBold = c.bold;
        memo.Append(c.text);
    }
    runtime->ScrollToCaret(memo);
    std::vector<MemoLine> shown = MemoLines(Window(memo));
    ASSERT_EQ(shown.size(), std::size(cases));
    for (size_t i = 0; i < shown.size(); ++i) {
        SCOPED_TRACE(cases[i].text);
        EXPECT_EQ(shown[i].text, cases[i].text);
        EXPECT_EQ(shown[i].color, cases[i].shown);
        EXPECT_EQ(shown[i].bold, cases[i].bold);
    }

    // Lines taken away: the memo shows the new list, not the old one with lines added.
    memo.Lines.clear();
    memo.SelColor = clRed, memo.SelBold = true;
    memo.Append("only line");
    runtime->ProcessMessages();
    shown = MemoLines(Window(memo));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "only line");
    EXPECT_EQ(shown[0].color, RGB(255, 0, 0));
    EXPECT_TRUE(shown[0].bold);
}

TEST_F(Controls, ScrollingToTheCaretBringsTheLastLineIntoView) {
    TRichMemo& memo = form.ProgressMemo;
    for (int i = 0; i < 60; ++i) memo.Append("line " + std::to_string(i));
    memo.MoveCaretToEnd();
    runtime->ScrollToCaret(memo);
    HWND w = Window(memo);
    const LONG first = LONG(SendMessageW(w, EM_GETFIRSTVISIBLELINE, 0, 0));
    EXPECT_GT(first, 40) << "the end is in view";
    memo.CaretLine = 0;
    runtime->ScrollToCaret(memo);
    EXPECT_EQ(SendMessageW(w, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
}

TEST_F(Controls, ButtonsShowCaptionGlyphAndState) {
    struct Case {
        TButton* button;
        const char* caption;
        int glyph;
    } cases[] = {{&form.StopBitBtn, "Stop", 18}, {&form.ProceedBitBtn, "Proceed", 16}, {&form.CloseBtn, "&Close", 18}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        HWND w = Window(*c.button);
        EXPECT_EQ(Text(w), c.caption);
        BUTTON_IMAGELIST bil{};
        ASSERT_TRUE(SendMessageW(w, BCM_GETIMAGELIST, 0, LPARAM(&bil)));
        int cx = 0, cy = 0;
        ASSERT_TRUE(ImageList_GetIconSize(bil.himl, &cx, &cy));
        EXPECT_EQ(cx, ScreenPixels(*c.button, c.glyph));
        EXPECT_EQ(ImageList_GetImageCount(bil.himl), 6) << "one picture per button state";
        EXPECT_EQ(IsWindowEnabled(w) != 0, c.button->Enabled);
        EXPECT_EQ(IsWindowVisible(w) != 0, c.button->Visible);
    }
    form.ProceedBitBtn.Enabled = true;
    form.StopBitBtn.Visible = true;
    runtime->ProcessMessages();
    EXPECT_TRUE(IsWindowEnabled(Window(form.ProceedBitBtn)));
    EXPECT_TRUE(IsWindowVisible(Window(form.StopBitBtn)));
}

// Each glyph: the normal picture has colour, the disabled one is grey, and the lower-left
// pixel of both is the transparent colour.
TEST(Glyphs, TheDisabledPictureIsTheNormalOneInGrey) {
    for (TGlyph g : {TGlyph::Cross, TGlyph::ArrowIntoPage, TGlyph::DoorUnderSign, TGlyph::CheckMark}) {
        SCOPED_TRACE(int(g));
        const int s = 18;
        const std::vector<TColor> strip = GlyphStrip(g, s);
        ASSERT_EQ(strip.size(), size_t(2 * s * s));
        const DWORD key = strip[size_t((s - 1) * 2 * s)];
        EXPECT_EQ(strip[size_t((s - 1) * 2 * s + s)], key);
        int coloured = 0, drawn = 0;
        for (int y = 0; y < s; ++y)
            for (int x = 0; x < s; ++x) {
                const DWORD n = strip[size_t(y * 2 * s + x)], d = strip[size_t(y * 2 * s + s + x)];
                if (n == key) {
                    EXPECT_EQ(d, key);
                    continue;
                }
                ++drawn;
                coloured += ((n >> 16) & 0xFF) != (n & 0xFF) || ((n >> 8) & 0xFF) != (n & 0xFF);
                EXPECT_TRUE(((d >> 16) & 0xFF) == (d & 0xFF) && ((d >> 8) & 0xFF) == (d & 0xFF)) << x << "," << y;
            }
        EXPECT_GT(drawn, s) << "a picture, not an empty square";
        EXPECT_GT(coloured, 0);
    }
    EXPECT_TRUE(GlyphStrip(TGlyph::None, 16).empty());
}

TEST(Glyphs, EveryPictureShowsTheSharedShapes) {
    for (TGlyph g : {TGlyph::Cross, TGlyph::ArrowIntoPage, TGlyph::DoorUnderSign, TGlyph::CheckMark})
        for (int s : {18, 48}) {
            SCOPED_TRACE(std::to_string(int(g)) + " at " + std::to_string(s));
            const std::vector<TColor> strip = GlyphStrip(g, s);
            ASSERT_EQ(strip.size(), size_t(2 * s * s));
            ui::probes::ExpectStripFollowsShapes(
                g, s, [&](int x, int y) { return strip[size_t(y * 2 * s + x)]; }, s == 48);
        }
}

TEST_F(Controls, ProgressBarFollowsMaximumAndPosition) {
    HWND bar = Window(form.ProgressBar);
    struct Case {
        int max, pos, shownMax, shownPos;
    } cases[] = {{1536, 700, 1536, 700}, {1536, 5000, 1536, 1536}, {0, 0, 1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.max) + "/" + std::to_string(c.pos));
        form.ProgressBar.Max = c.max, form.ProgressBar.Position = c.pos;
        runtime->Repaint(form);
        EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), c.shownMax);
        EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), c.pos > c.shownMax ? c.shownMax : c.shownPos);
    }
}

TEST_F(Controls, TheBusyIndicatorRunsAtItsPlace) {
    HWND w = Window(extras.Animate1);
    wchar_t cls[32] = {};
    GetClassNameW(w, cls, 32);
    // SysAnimate32 where the system has the find-file clip; Wine's shell has none.
    const bool system = lstrcmpiW(cls, ANIMATE_CLASSW) == 0;
    EXPECT_TRUE(system || lstrcmpW(cls, L"ZelBusyIndicator") == 0);
    if (system) {
        EXPECT_TRUE(SendMessageW(w, ACM_ISPLAYING, 0, 0));
    }
    RecordProperty("BusyIndicator", system ? "SysAnimate32" : "stand-in");
    EXPECT_TRUE(IsWindowVisible(w));
}

// Every title the update shows stays clear of the busy indicator (at 100 % and 150 %), and
// the indicator stands still once it is stopped.
TEST_F(Controls, TheTitleKeepsClearOfTheBusyIndicatorWhichStops) {
    HWND label = Window(form.JobLabel), busy = Window(extras.Animate1);
    RECT indicator;
    GetWindowRect(busy, &indicator);
    for (const char* caption :
         {"Checking for Brinquet\xC2\xAE Express Updates", "Checking for updates.",
          "Ready to run update process from downloaded files.", "Problem", "Upgrading", "Done."}) {
        SCOPED_TRACE(caption);
        form.JobLabel.Caption = caption;
        runtime->Repaint(form);
        // Where the label draws its text: centred across its width, as many lines as it needs.
        RECT box;
        GetClientRect(label, &box);
        const std::wstring text = [&] {
            std::wstring w(size_t(GetWindowTextLengthW(label)) + 1, L'\0');
            w.resize(size_t(GetWindowTextW(label, w.data(), int(w.size()))));
            return w;
        }();
        ASSERT_FALSE(text.empty());
        HDC dc = GetDC(label);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
        RECT need = box;
        DrawTextW(dc, text.c_str(), int(text.size()), &need, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
        SelectObject(dc, old);
        ReleaseDC(label, dc);
        const LONG width = need.right - need.left;
        POINT at{(box.right - width) / 2, 0};
        ClientToScreen(label, &at);
        EXPECT_LE(at.x + width, indicator.left)
            << "the text ends at " << at.x + width << ", the indicator begins at " << indicator.left;
        EXPECT_LE(need.bottom - need.top, box.bottom) << "the text fits the title's height";
    }
    extras.Animate1.Active = false;
    runtime->Repaint(form);
    const LONG_PTR frame = GetWindowLongPtrW(busy, 0);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 300) {
        runtime->ProcessMessages();
        Sleep(10);
    }
    wchar_t cls[32] = {};
    GetClassNameW(busy, cls, 32);
    if (lstrcmpiW(cls, ANIMATE_CLASSW) == 0)
        EXPECT_FALSE(SendMessageW(busy, ACM_ISPLAYING, 0, 0));
    else
        EXPECT_EQ(GetWindowLongPtrW(busy, 0), frame) << "the stand-in still steps";
}

TEST_F(Controls, TheLinkUnderlinesUnderThePointerAndClicks) {
    TLabel& link = extras.MoreInfoLabel;
    int clicks = 0;
    link.OnMouseEnter = [&] { link.Font.Underline = true; };
    link.OnMouseLeave = [&] { link.Font.Underline = false; };
    link.OnClick = [&] { ++clicks; };
    link.Visible = true;
    runtime->ProcessMessages();
    HWND w = Window(link);
    EXPECT_EQ(FontOf(w).lfUnderline, 0);
    SendMessageW(w, WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    EXPECT_NE(FontOf(w).lfUnderline, 0);
    SendMessageW(w, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(FontOf(w).lfUnderline, 0);
    SendMessageW(GetParent(w), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(w), STN_CLICKED), LPARAM(w));
    EXPECT_EQ(clicks, 1);
}
}  // namespace
